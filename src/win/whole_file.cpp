#include "whole_file.h"

namespace pelmar::win {

status read_whole_file(HANDLE file, std::uint64_t most_bytes, std::string& bytes) {
    LARGE_INTEGER size{};
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        return last_error("SetFilePointerEx");
    }
    if (!GetFileSizeEx(file, &size)) {
        return last_error("GetFileSizeEx");
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > most_bytes) {
        return win32_error{ERROR_FILE_TOO_LARGE, "GetFileSizeEx"};
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t have = 0;
    while (have < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + have, static_cast<DWORD>(bytes.size() - have), &read,
                      nullptr)) {
            return last_error("ReadFile");
        }
        if (read == 0) {
            break;
        }
        have += read;
    }
    bytes.resize(have);
    return std::nullopt;
}

}  // namespace pelmar::win
