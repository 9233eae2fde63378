#pragma once

#include <string>
#include <vector>

#include "file_verdict.h"
#include "installed_drivers.h"
#include "print_processor_libraries.h"
#include "spooler_folders.h"
#include "spooler_registrations.h"

namespace pelmar::signatures {

// A library that the registry names for the spooler to load, where the
// spooler finds it: a monitor's, a provider's or a printer's module by a
// bare name in System32, a print processor's in its environment's folder or
// by a path relative to it; a full path as it is.
struct registered_module {
    std::wstring path;
    // The key that its row shows as its folder, `HKLM\...`, and the value
    // below it that names the library, `Monitors\Evil Monitor\Driver`
    // (the first, where several do: "... and 2 more").
    std::wstring root;
    std::wstring by;
    // The spooler loads it itself: not so another environment's print
    // processor, which it keeps for its clients, and whose absence is no
    // finding.
    bool loaded_here = true;
};

// A row the registry gives without a file to judge: a printer's spool
// folder or a port where the spooler would write what it then loads, or a
// key that cannot be read.
struct registry_finding {
    std::wstring root;  // `HKLM\...`
    std::wstring name;  // what the row's FILENAME shows
    file_verdict verdict;
};

// What the registry adds to the walk.
struct registered_sources {
    std::vector<registered_module> modules;  // one per library
    std::vector<registry_finding> findings;
};

// `drivers`: the installed drivers, whose records name their language
// monitors, so that a monitor's row says which drivers use it.
[[nodiscard]] registered_sources registered_sources_of(
    const spooler_registrations& registry, const print_processor_libraries& processors,
    const std::vector<spooler_environment>& environments,
    const std::vector<installed_driver>& drivers);

// `HKLM\` and a key below it, as rows show keys.
std::wstring machine_key_text(const std::wstring& key);

}  // namespace pelmar::signatures
