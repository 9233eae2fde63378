#include "file.h"

namespace pelmar::win {

namespace {

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

result<unique_file_handle> opened(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return last_error("CreateFileW");
    }
    return unique_file_handle(handle);
}

// FILE_ID_INFO and its class, which the headers declare for Windows 8 and
// later only; Windows 7 refuses the call.
struct file_id_info {
    ULONGLONG volume_serial;
    ULONGLONG file_id[2];  // lower half, upper half
};
constexpr auto file_id_info_class = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

}  // namespace

result<unique_file_handle> open_to_read(const std::wstring& path) {
    return opened(CreateFileW(path.c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

result<unique_file_handle> open_to_read_at(const std::wstring& path, bool others_may_write) {
    return opened(CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_DELETE |
                                  (others_may_write ? FILE_SHARE_WRITE : 0),
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

result<unique_file_handle> open_folder_to_query(const std::wstring& path) {
    return opened(CreateFileW(path.c_str(), 0, share_all, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

result<unique_file_handle> open_folder_to_list(const std::wstring& path) {
    return opened(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, share_all,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

result<DWORD> attributes_of(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return last_error("GetFileAttributesW");
    }
    return attributes;
}

result<DWORD> type_of(HANDLE file) {
    // FILE_TYPE_UNKNOWN is also the answer of a call that failed, told apart
    // by the last error alone.
    SetLastError(NO_ERROR);
    const DWORD type = GetFileType(file);
    if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
        return last_error("GetFileType");
    }
    return type;
}

result<std::size_t> read_next(HANDLE file, std::span<std::byte> into) {
    DWORD read = 0;
    if (!ReadFile(file, into.data(), static_cast<DWORD>(into.size()), &read, nullptr)) {
        return last_error("ReadFile");
    }
    return std::size_t{read};
}

status read_at(HANDLE file, std::uint64_t offset, std::span<std::byte> into) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, into.data(), static_cast<DWORD>(into.size()), &read, &at)) {
        return last_error("ReadFile");
    }
    if (read != into.size()) {
        return win32_error{ERROR_HANDLE_EOF, "ReadFile"};
    }
    return std::nullopt;
}

result<file_id> id_of(HANDLE file) {
    file_id_info about{};
    if (GetFileInformationByHandleEx(file, file_id_info_class, &about, sizeof about)) {
        return file_id{about.volume_serial, about.file_id[1], about.file_id[0]};
    }
    BY_HANDLE_FILE_INFORMATION old{};
    if (!GetFileInformationByHandle(file, &old)) {
        return last_error("GetFileInformationByHandle");
    }
    return file_id{old.dwVolumeSerialNumber, 0,
                   std::uint64_t{old.nFileIndexHigh} << 32 | old.nFileIndexLow};
}

result<std::wstring> file_system_of(HANDLE file) {
    wchar_t name[MAX_PATH + 1] = L"";
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, name,
                                       MAX_PATH + 1)) {
        return last_error("GetVolumeInformationByHandleW");
    }
    return std::wstring(name);
}

}  // namespace pelmar::win
