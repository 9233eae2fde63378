#include "executable_image.h"

namespace pelmar::signatures {

namespace {

// Reads at `offset` whatever the file pointer is.
[[nodiscard]] bool read_at(HANDLE file, std::uint64_t offset, void* bytes, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, &at) && read == size;
}

// Where the image's `PE\0\0` lies; 0 when the file is no image.
[[nodiscard]] std::uint64_t nt_headers_at(HANDLE file) {
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    const bool image =
        read_at(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        dos.e_lfanew >= 0 &&
        read_at(file, static_cast<std::uint64_t>(dos.e_lfanew), &signature, sizeof signature) &&
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
    return headers != 0 && read_at(file, headers + sizeof(DWORD), &header, sizeof header)
               ? header.Machine
               : 0;
}

}  // namespace pelmar::signatures
