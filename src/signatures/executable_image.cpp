#include "executable_image.h"

#include <span>

#include "file.h"

namespace pelmar::signatures {

namespace {

// Reads `into` whole from `offset` of the open `file`.
template <typename value_type>
[[nodiscard]] bool read_into(value_type& into, HANDLE file, std::uint64_t offset) {
    const win::status failure =
        win::read_at(file, offset, std::as_writable_bytes(std::span(&into, 1)));
    return !failure;
}

// Where the image's `PE\0\0` lies; 0 when the file is no image.
[[nodiscard]] std::uint64_t nt_headers_at(HANDLE file) {
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    const bool image =
        read_into(dos, file, 0) && dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew >= 0 &&
        read_into(signature, file, static_cast<std::uint64_t>(dos.e_lfanew)) &&
        signature == IMAGE_NT_SIGNATURE;
    // At 0 lies `MZ`, so no image's headers start there.
    return image ? static_cast<std::uint64_t>(dos.e_lfanew) : 0;
}

}  // namespace

bool is_executable_image(HANDLE file) {
    return nt_headers_at(file) != 0;
}

std::uint16_t image_machine(HANDLE file) {
    const std::uint64_t headers = nt_headers_at(file);
    IMAGE_FILE_HEADER header{};
    return headers != 0 && read_into(header, file, headers + sizeof(DWORD)) ? header.Machine : 0;
}

}  // namespace pelmar::signatures
