#include "folder_listing.h"

#include <algorithm>

#include <winternl.h>

#include "file.h"

namespace pelmar::win {

namespace {

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILE_INTERNAL_INFORMATION and its class, which only the driver kit's
// headers declare: the file's index, the number a listing gives it.
struct file_internal_information {
    LARGE_INTEGER index_number;
};
constexpr auto file_internal_information_class = static_cast<FILE_INFORMATION_CLASS>(6);

// Whether an open file has this index. Not by GetFileInformationByHandle,
// which asks the volume for its serial number as well: under Wine a round
// trip to the mount manager, 0.7 ms for each of a print server's thousands
// of files.
bool has_index(HANDLE file, std::uint64_t index) {
    IO_STATUS_BLOCK status{};
    file_internal_information information{};
    return NtQueryInformationFile(file, &status, &information, sizeof information,
                                  file_internal_information_class) >= 0 &&
           static_cast<std::uint64_t>(information.index_number.QuadPart) == index;
}

}  // namespace

result<std::vector<folder_entry>> list_folder(const std::wstring& folder) {
    const result<unique_file_handle> opened = open_folder_to_list(folder);
    if (!opened) {
        return opened.error();
    }
    return list_folder(opened.value().get());
}

result<std::vector<folder_entry>> list_folder(HANDLE opened) {
    // Long names only, where a pattern would also match 8.3 short names; and
    // each file's index, which spares a caller opening the file to ask.
    std::vector<folder_entry> entries;
    std::vector<std::uint64_t> buffer(8192);  // aligned as the records need
    while (GetFileInformationByHandleEx(opened, FileIdBothDirectoryInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
        for (auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());;
             entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                 reinterpret_cast<const char*>(entry) + entry->NextEntryOffset)) {
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                // For a reparse point the size of the extended attributes
                // holds its tag instead, as FindFirstFileW's dwReserved0 does.
                entries.push_back({std::wstring(name), entry->FileAttributes, entry->EaSize,
                                   static_cast<std::uint64_t>(entry->FileId.QuadPart)});
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
        }
    }
    // A drive's empty root has not even `.` and `..` to list.
    if (const DWORD error = GetLastError();
        error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) {
        return win32_error{error, "GetFileInformationByHandleEx"};
    }
    std::sort(entries.begin(), entries.end(), [](const auto& left, const auto& right) {
        return left.is_folder() != right.is_folder() ? right.is_folder()
                                                     : file_name_before(left.name, right.name);
    });
    return entries;
}

result<unique_file_handle> open_listed(HANDLE listed, const std::wstring& path,
                                       const folder_entry& entry) {
    // An id that names no file must not pass for a file deleted since.
    if (!tells_files_apart(entry.file_index)) {
        return win32_error{ERROR_NOT_SUPPORTED, "OpenFileById"};
    }
    // Backup semantics opens a folder. No reparse point is opened as such:
    // a compressed or deduplicated file's data comes through its filter so,
    // and a link is for the caller to leave alone, not to open.
    // A folder's streams are asked of it as well.
    const DWORD access =
        entry.is_folder() ? FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES : GENERIC_READ;
    // By its path first, which every file system resolves at once (Wine
    // finds an id only by searching the folder), kept only where it leads
    // to the file listed.
    const std::wstring verbatim = verbatim_path(path);
    const HANDLE by_path = verbatim.empty() ? INVALID_HANDLE_VALUE
                                            : CreateFileW(verbatim.c_str(), access, share_all,
                                                          nullptr, OPEN_EXISTING,
                                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (by_path != INVALID_HANDLE_VALUE) {
        unique_file_handle candidate(by_path);
        if (has_index(by_path, entry.file_index)) {
            return candidate;
        }
    }
    FILE_ID_DESCRIPTOR id{};
    id.dwSize = sizeof id;
    id.Type = FileIdType;
    id.FileId.QuadPart = static_cast<LONGLONG>(entry.file_index);
    const HANDLE handle =
        OpenFileById(listed, &id, access, share_all, nullptr, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) {
        return last_error("OpenFileById");
    }
    return unique_file_handle(handle);
}

std::wstring verbatim_path(const std::wstring& path) {
    const std::wstring_view text(path);
    // Device paths are passed on as they are already.
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\")) {
        return path;
    }
    if (text.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + path.substr(2);
    }
    const bool drive = text.size() >= 3 && text[1] == L':' && (text[2] == L'\\' || text[2] == L'/');
    if (!drive) {
        return {};
    }
    // The verbatim form takes no other separator, and no empty name.
    std::wstring verbatim = L"\\\\?\\";
    for (const wchar_t c : text) {
        const wchar_t separator = c == L'/' ? L'\\' : c;
        if (separator != L'\\' || verbatim.back() != L'\\') {
            verbatim += separator;
        }
    }
    return verbatim;
}

std::wstring file_name_key(std::wstring_view name) {
    // Invariant: the same in every language, as file systems compare names.
    std::wstring key(name);
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                  static_cast<int>(name.size()), key.data(), static_cast<int>(key.size()), nullptr,
                  nullptr, 0);
    return key;
}

bool same_file_name(std::wstring_view left, std::wstring_view right) {
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool is_locale_name(const std::wstring& name) {
    return IsValidLocaleName(name.c_str()) != FALSE;
}

bool file_name_before(std::wstring_view left, std::wstring_view right) {
    const int order = CompareStringOrdinal(left.data(), static_cast<int>(left.size()),
                                           right.data(), static_cast<int>(right.size()), TRUE);
    return order == CSTR_EQUAL ? left < right : order == CSTR_LESS_THAN;
}

}  // namespace pelmar::win
