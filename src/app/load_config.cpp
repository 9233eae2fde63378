// The image's load configuration, for GNU toolchains only: Visual C++'s
// runtime brings its own and gets the same flag from /DEPENDENTLOADFLAG.
//
// DependentLoadFlags makes Windows (10 1607 and later) resolve this
// program's static imports from System32 alone. version.dll and winspool.drv
// are no KnownDLLs, so without it a copy planted beside the program or in the
// current directory would be loaded in their place. Older mingw-w64 headers,
// this toolchain's among them, still call that field Reserved1.
//
// The loader reads only as many fields as Size says; this layout covers the
// flag, and the fields left zero ask for nothing: no security cookie for the
// loader to seed (GCC's code has no /GS cookie) and no SEH or guard tables.
//
// GNU ld does not enter the structure in the optional header's data
// directory, so it sits in a section of its own, which the post-link step
// (cmake/pe_load_config.py) finds by name and points the directory at.

#include <windows.h>

namespace {

template <typename load_config>
constexpr load_config system32_imports_only() {
    load_config config{};
    config.Size = sizeof config;
    if constexpr (requires { config.DependentLoadFlags; }) {
        config.DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
    } else {
        config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    }
    return config;
}

}  // namespace

// constinit: built by the compiler, never by code that runs at start-up.
extern "C" __attribute__((section(".lcfg"), used))
constinit const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used =
    system32_imports_only<IMAGE_LOAD_CONFIG_DIRECTORY64>();
