#pragma once

// Writes the banner to std::wcerr and the inventory table to std::wcout.
// Returns the process exit code: 0 after a complete table, 1 after a
// failure, which is reported as one line on std::wcerr.
[[nodiscard]] int run_inventory();
