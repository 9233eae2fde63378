#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One environment's folders, as the spooler gives them: where it keeps the
// drivers' files (`spool\drivers\x64`) and the print processors
// (`spool\prtprocs\x64`).
struct spooler_environment {
    std::wstring name;
    std::wstring driver_folder;
    std::wstring processor_folder;
    // The Windows error code of a query that failed, or 0; its folder is
    // then empty.
    std::uint32_t error_code = 0;
};

// The folders of each environment the spooler knows: those Windows defines
// and those that `named` lists (the registry's and the installed drivers').
// One it does not know is left out.
[[nodiscard]] std::vector<spooler_environment> spooler_environments(
    const std::vector<std::wstring>& named);
