#include "executable_image.h"

#include <cstdint>

namespace {

// Reads at `offset` whatever the file pointer is.
bool read_at(HANDLE file, std::uint64_t offset, void* bytes, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, &at) && read == size;
}

}  // namespace

bool is_executable_image(HANDLE file) {
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    return read_at(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
           dos.e_lfanew >= 0 &&
           read_at(file, static_cast<std::uint64_t>(dos.e_lfanew), &signature, sizeof signature) &&
           signature == IMAGE_NT_SIGNATURE;
}
