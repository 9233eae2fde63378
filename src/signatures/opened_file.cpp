#include "opened_file.h"

#include <array>

opened_file::opened_file(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_code_ = GetLastError();
        absent_ = error_code_ == ERROR_FILE_NOT_FOUND || error_code_ == ERROR_PATH_NOT_FOUND;
        return;
    }
    file_.emplace(file);
    // A file can open and still refuse its bytes (a range locked by another
    // process); the signature services would then fail in ways of their own.
    std::array<char, 4096> start{};
    DWORD read = 0;
    if (!ReadFile(file, start.data(), static_cast<DWORD>(start.size()), &read, nullptr)) {
        error_code_ = GetLastError();
        file_.reset();
    }
}
