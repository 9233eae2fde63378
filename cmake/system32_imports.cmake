# DLL planting: a program's static imports that are no KnownDLLs (version.dll,
# winspool.drv, wintrust.dll, crypt32.dll) must come from System32 only, never
# from the program's folder or the current directory. DependentLoadFlags in
# the load configuration asks Windows 10 1607 and later for exactly that; the
# imports stay direct because the unit tests patch the import table.
function(pelmar_system32_imports_only target)
  if(MSVC)
    target_link_options(${target} PRIVATE /DEPENDENTLOADFLAG:0x800)
  elseif(MINGW)
    # GNU ld links the structure but leaves the data directory entry empty.
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/app/load_config.cpp)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/pe_load_config.py
              $<TARGET_FILE:${target}> .lcfg
      VERBATIM)
  endif()
endfunction()
