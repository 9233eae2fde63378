#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// The names of the alternate data streams of the open file or folder `file`
// (`p.dll` of `RSWOP.icm:p.dll`), in the order the file system gives them;
// none where the file system keeps no streams. Windows loads a library from
// a stream as from a file, and a folder's listing never shows one. Returns 0,
// or the Windows error code of a query that failed.
[[nodiscard]] std::uint32_t list_streams(HANDLE file, std::vector<std::wstring>& names);
