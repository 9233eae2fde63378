#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "installed_drivers.h"
#include "print_processor_libraries.h"
#include "spooler_folders.h"

namespace pelmar::signatures {

// What accounts for a file in the spooler's folders: its row's words for
// it, whether it may be an executable image, and the name Windows installed
// it by, which its package's catalog lists it under. A claim is no verdict:
// a claimed image is still verified.
struct file_claim {
    std::wstring by;
    bool images;
    std::wstring installed_name;
};

// What the run knows of the printers that use the drivers.
enum class printer_use {
    unknown,     // the printers could not be listed
    local_only,  // this machine's printers, but not every user's connections
    known,       // the printers and every loaded user's printer connections
};

// The files that the installed drivers and print processors account for,
// as the spooler and Windows place them: a driver's files in its own
// environment's folder, the copies the spooler stages and keeps of them,
// and what Windows derives from them (language resources, caches, package
// cabinets, colour profiles).
class spooler_claims {
public:
    // `used` lists the drivers the printers use, as far as `printers` says,
    // so that a row can say which driver no printer uses.
    spooler_claims(const std::vector<installed_driver>& drivers,
                   const print_processor_libraries& processors,
                   const std::vector<spooler_environment>& environments,
                   const std::vector<std::wstring>& used, printer_use printers);

    // The claim on the file at `path` (a full path), if any.
    std::optional<file_claim> claim(const std::wstring& path) const;

    // What the rules read, keyed by file_name_key.
    struct facts {
        // Each file a driver names, with the drivers that name it.
        std::map<std::wstring, std::vector<std::wstring>, std::less<>> named;
        // The file names of every driver's files and every registered print
        // processor's library: the modules a language resource may be of.
        std::set<std::wstring, std::less<>> modules;
        std::vector<std::wstring> version_folders;    // `spool\drivers\x64\3\`
        std::vector<std::wstring> environment_folders;  // `spool\drivers\x64\`
        std::vector<std::wstring> driver_roots;       // `spool\drivers\`
        // Each print processor folder with the libraries registered for it.
        std::map<std::wstring, std::vector<std::wstring>, std::less<>> processors;
    };

private:
    facts facts_;
    std::vector<std::wstring> used_;  // keys of the drivers the printers use
    printer_use printers_;
};

}  // namespace pelmar::signatures
