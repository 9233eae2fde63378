#pragma once

#include <windows.h>

#include "unique_handle.h"

// Owns a file handle that CreateFileW or OpenFileById returned as valid.
using unique_file_handle = unique_handle<HANDLE, CloseHandle, -1, 0>;
