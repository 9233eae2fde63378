# Tests run under Wine, in one prefix of their own inside the build tree.
find_program(WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
find_program(WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)

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
