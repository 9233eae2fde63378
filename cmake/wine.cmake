# Tests run under Wine, in one prefix of their own inside the build tree.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
find_program(WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)

# Debian's wine64 has no preloader: Wine claims the address of the shared user
# data (0x7ffe0000) only once the loader runs, and the kernel puts the heap of
# that loader (linked at 0x7d000000) anywhere in the gigabyte above it. About
# one start in several hundred finds the heap there and fails ("failed to map the
# shared user data"), and a test run starts thousands. Without address
# randomisation the heap follows the loader, far below that address; the
# setting passes to every process Wine starts. Where it is refused (a sandbox
# that filters personality()), Wine runs as it is.
find_program(SETARCH setarch)
set(PELMAR_WINE_LAUNCH "")
if(SETARCH)
  execute_process(COMMAND ${SETARCH} ${CMAKE_HOST_SYSTEM_PROCESSOR} -R true
    RESULT_VARIABLE no_randomisation OUTPUT_QUIET ERROR_QUIET)
  if(no_randomisation EQUAL 0)
    set(PELMAR_WINE_LAUNCH "\"${SETARCH}\" ${CMAKE_HOST_SYSTEM_PROCESSOR} -R ")
  endif()
endif()
if(NOT PELMAR_WINE_LAUNCH)
  message(STATUS "Wine runs with address randomisation: now and then a start will fail")
endif()

set(PELMAR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
# A stopped copy of that prefix, which the end-to-end tests copy in turn.
set(PELMAR_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine/template)
set(PELMAR_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${PELMAR_WINE_RUN}
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE
  @ONLY)

# Every executable target made from here on runs through the wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELMAR_WINE_RUN})
