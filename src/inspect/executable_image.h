#pragma once

#include <windows.h>

// Whether the open file is an image Windows would load, whatever its name
// says: `MZ` at its start and, at the offset its DOS header gives, inside
// the file, `PE\0\0`.
bool is_executable_image(HANDLE file);
