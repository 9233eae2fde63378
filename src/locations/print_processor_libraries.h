#pragma once

#include <string>
#include <vector>

#include "result.h"

// The libraries registered as print processors, of every environment: the
// `Driver` value of each key under
// HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\<environment>\Print Processors,
// which is where the spooler finds the library it loads from its print
// processor folder.
struct print_processor_library {
    std::wstring environment;  // "Windows x64"
    std::wstring processor;    // its key's name, "winprint"
    std::wstring library;      // its `Driver` value, unexpanded
};

struct print_processor_libraries {
    // The environments under that key, the spooler's own list of those it
    // keeps drivers and print processors for, as far as it could be read.
    std::vector<std::wstring> environments;
    // Each library, as registered.
    std::vector<print_processor_library> names;
    // The registry read that failed, where one did: the names are then those
    // read before it. An absent key, or a processor without a text `Driver`
    // value, names nothing and is no failure.
    pelmar::win::status failure;
};

[[nodiscard]] print_processor_libraries registered_print_processors();
