# What every target of the product, its tests and its benchmarks is compiled
# and linked with. Each target links these by name, so that what it is built
# with is stated with it, and nothing reaches code that did not ask for it
# (GoogleTest keeps its own settings).

# The language, the Windows headers' settings and the one Windows version all
# sources are built for. Windows 8's declarations, for every source alike:
# the signature check uses its catalog services (SHA-256 catalog hashes,
# WINTRUST_CATALOG_INFO's hCatAdmin), and one setting for all keeps every
# source seeing one size of each structure. Those functions are looked up at
# run time and Windows 7 reads only the structures' fields it knows, so the
# programs still run there.
add_library(pelmar_build_settings INTERFACE)
target_compile_features(pelmar_build_settings INTERFACE cxx_std_20)
# Standard C++, without GNU's extensions (the default of each target).
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_definitions(pelmar_build_settings INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0602 NTDDI_VERSION=0x06020000)
if(MSVC)
  target_compile_options(pelmar_build_settings INTERFACE /permissive- /utf-8)
else()
  # One self-contained .exe: the compiler's runtime libraries are linked in,
  # so the program imports nothing but DLLs of Windows itself.
  target_link_options(pelmar_build_settings INTERFACE -static $<$<CONFIG:Release>:-s>)
  # The same commit gives the same .exe wherever it is built: the linker would
  # otherwise stamp the link time into the PE header (and its checksum), and
  # __FILE__ and debug information would carry the source folder.
  target_link_options(pelmar_build_settings INTERFACE -Wl,--no-insert-timestamp)
  target_compile_options(pelmar_build_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>)
endif()

# The warnings every source is held to. CI's build (CI set in its
# environment) stops at the first one, so that none lands.
if(DEFINED ENV{CI})
  set(pelmar_warnings_as_errors_default ON)
else()
  set(pelmar_warnings_as_errors_default OFF)
endif()
option(PELMAR_WARNINGS_AS_ERRORS "Stop the build at any compiler warning"
       ${pelmar_warnings_as_errors_default})
if(MSVC)
  target_compile_options(pelmar_build_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:/W4> $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${PELMAR_WARNINGS_AS_ERRORS}>>:/WX>)
else()
  target_compile_options(pelmar_build_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${PELMAR_WARNINGS_AS_ERRORS}>>:-Werror>)
endif()
