#pragma once

#include <windows.h>

#include "unique_handle.h"

// Owns a search handle that FindFirstFileExW returned as valid.
using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;
