#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "result.h"

namespace pelmar::win {

// The names of the alternate data streams of the open file or folder `file`
// (`p.dll` of `RSWOP.icm:p.dll`), in the order the file system gives them;
// none where the file system keeps no streams. Windows loads a library from
// a stream as from a file, and a folder's listing never shows one.
[[nodiscard]] result<std::vector<std::wstring>> list_streams(HANDLE file);

}  // namespace pelmar::win
