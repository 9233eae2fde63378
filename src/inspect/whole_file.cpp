#include "whole_file.h"

std::uint32_t read_whole_file(HANDLE file, std::uint64_t most_bytes, std::string& bytes) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return GetLastError();
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > most_bytes) {
        return ERROR_FILE_TOO_LARGE;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t have = 0;
    while (have < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + have, static_cast<DWORD>(bytes.size() - have), &read,
                      nullptr)) {
            return GetLastError();
        }
        if (read == 0) {
            break;
        }
        have += read;
    }
    bytes.resize(have);
    return 0;
}
