#pragma once

#include <cstdint>

#include <windows.h>

namespace pelmar::signatures {

// Whether the open file is an image Windows would load, whatever its name
// says: `MZ` at its start and, at the offset its DOS header gives, inside
// the file, `PE\0\0`.
[[nodiscard]] bool is_executable_image(HANDLE file);

// The machine an open image is built for, as its file header says
// (IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, ...); 0 when the file
// is no image, or its header is cut off.
[[nodiscard]] std::uint16_t image_machine(HANDLE file);

}  // namespace pelmar::signatures
