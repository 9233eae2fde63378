#include "opened_file.h"

#include <array>

#include "error_code_text.h"

namespace pelmar::signatures {

opened_file::opened_file(const std::wstring& path, bool others_may_write)
    : file_(CreateFileW(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_DELETE |
                            (others_may_write ? FILE_SHARE_WRITE : 0),
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_) {
        const DWORD code = GetLastError();
        // A folder does not open as a file, and the code says access denied,
        // which would send the reader after rights that are not the matter.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        failed(code, code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        return;
    }
    read_start();
}

opened_file::opened_file(HANDLE listed, const std::wstring& path,
                         const win::folder_entry& entry) {
    win::result<unique_file_handle> opened = win::open_listed(listed, path, entry);
    if (!opened) {
        const std::uint32_t code = opened.error().code;
        // An id that no longer names a file is one deleted since the listing.
        failed(code == ERROR_INVALID_PARAMETER ? ERROR_FILE_NOT_FOUND : code, false);
        return;
    }
    file_ = std::move(opened).value();
    read_start();
}

void opened_file::failed(DWORD code, bool folder) {
    absent_ = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    problem_ = folder ? L"a folder, not a file" : L"cannot be read. " + error_code_text(code);
}

void opened_file::read_start() {
    // A name may lead to a device or a pipe: only a file on a disk is one
    // that a signature or a catalog can speak of.
    if (GetFileType(file_.get()) != FILE_TYPE_DISK) {
        problem_ = L"not a file on a disk";
        file_ = {};
        return;
    }
    // A file can open and still refuse its bytes (a range locked by another
    // process); the signature services would then fail in ways of their own.
    std::array<char, 4096> start{};
    DWORD read = 0;
    if (!ReadFile(file_.get(), start.data(), static_cast<DWORD>(start.size()), &read, nullptr)) {
        failed(GetLastError(), false);
        file_ = {};
    }
}

}  // namespace pelmar::signatures
