#pragma once

#include <string>
#include <vector>

#include "result.h"

namespace pelmar::win {

// The local spooler's folders of one environment.
enum class spooler_folder {
    drivers,           // GetPrinterDriverDirectoryW: `spool\drivers\x64`
    print_processors,  // GetPrintProcessorDirectoryW: `spool\prtprocs\x64`
};

// The spooler's `folder` of `environment` ("Windows x64"), as it gives it;
// ERROR_INVALID_ENVIRONMENT for an environment it does not know.
[[nodiscard]] result<std::wstring> spooler_folder_of(spooler_folder folder,
                                                     const std::wstring& environment);

// The names of the drivers that this machine's printers and printer
// connections use, fetched again, up to `tries` times in all, while the
// spooler needs more room than it last said (a printer was added meanwhile).
[[nodiscard]] result<std::vector<std::wstring>> printer_driver_names(int tries);

}  // namespace pelmar::win
