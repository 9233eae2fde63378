#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win32_error.h"

// One environment's folders, as the spooler gives them: where it keeps the
// drivers' files (`spool\drivers\x64`) and the print processors
// (`spool\prtprocs\x64`).
struct spooler_environment {
    std::wstring name;
    std::wstring driver_folder;
    std::wstring processor_folder;
    // The query that failed, where one did; its folder is then empty.
    std::optional<pelmar::win::win32_error> failure;
};

// The folders of each environment the spooler knows: those Windows defines
// and those that `named` lists (the registry's and the installed drivers').
// One it does not know is left out.
[[nodiscard]] std::vector<spooler_environment> spooler_environments(
    const std::vector<std::wstring>& named);
