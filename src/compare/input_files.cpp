#include "input_files.h"

#include <algorithm>

#include <windows.h>

#include "error_code_text.h"
#include "inventory_reader.h"
#include "unique_file_handle.h"
#include "whole_file.h"

namespace {

// Everything up to and including the argument's last backslash, slash or
// drive colon; empty when it has none.
std::size_t folder_length(std::wstring_view argument) {
    const std::size_t last = argument.find_last_of(L"\\/:");
    return last == std::wstring_view::npos ? 0 : last + 1;
}

std::wstring upper_case(std::wstring_view text) {
    std::wstring upper(text);
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                  static_cast<int>(text.size()), upper.data(), static_cast<int>(upper.size()),
                  nullptr, nullptr, 0);
    return upper;
}

constexpr std::wstring_view no_match = L"no file matches";

std::wstring cannot_be_read(DWORD error_code) {
    return L"cannot be read. " + error_code_text(error_code);
}

std::wstring cannot_be_listed(DWORD error_code) {
    return L"the folder cannot be listed. " + error_code_text(error_code);
}

// Whether `name` matches the wildcard `pattern`, both in upper case.
bool matches_wildcard(std::wstring_view pattern, std::wstring_view name) {
    // Greedy, and back to the last star on a mismatch.
    std::size_t next = 0;
    std::size_t star = std::wstring_view::npos;
    std::size_t star_name = 0;
    for (std::size_t at = 0; at < name.size();) {
        if (next < pattern.size() && (pattern[next] == L'?' || pattern[next] == name[at])) {
            ++next;
            ++at;
        } else if (next < pattern.size() && pattern[next] == L'*') {
            star = next++;
            star_name = at;
        } else if (star != std::wstring_view::npos) {
            next = star + 1;
            at = ++star_name;
        } else {
            return false;
        }
    }
    // As in Windows, a name without an extension also matches a final ".*".
    const std::size_t rest = pattern.find_first_not_of(L'*', next);
    return rest == std::wstring_view::npos ||
           (pattern[rest] == L'.' &&
            pattern.find_first_not_of(L'*', rest + 1) == std::wstring_view::npos);
}

}  // namespace

std::wstring files_named(const std::wstring& argument, std::vector<named_file>& files) {
    files.clear();
    const std::size_t folder_end = folder_length(argument);
    if (argument.find_first_of(L"*?", folder_end) == std::wstring::npos) {
        files.push_back({argument, std::nullopt});
        return {};
    }
    // The folder's listing holds each file's index, so that a fleet's
    // thousands of files need not each be asked; "C:" is drive C's current
    // folder, as "" is the current folder.
    const std::wstring folder = argument.substr(0, folder_end);
    const HANDLE listed = CreateFileW(
        (folder.empty() || folder.back() == L':' ? folder + L"." : folder).c_str(),
        FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (listed == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? std::wstring(no_match)
                   : cannot_be_listed(error);
    }
    const unique_file_handle owner(listed);
    BY_HANDLE_FILE_INFORMATION about_folder{};
    if (!GetFileInformationByHandle(listed, &about_folder)) {
        return cannot_be_listed(GetLastError());
    }
    // Windows matches a pattern against 8.3 short names too (*.txt finds
    // a.txt_old), so the long names are matched here, and only they.
    const std::wstring pattern = upper_case(std::wstring_view(argument).substr(folder_end));
    std::vector<std::uint64_t> buffer(8192);  // aligned as the records need
    while (GetFileInformationByHandleEx(listed, FileIdBothDirectoryInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
        for (auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());;
             entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                 reinterpret_cast<const char*>(entry) + entry->NextEntryOffset)) {
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                matches_wildcard(pattern, upper_case(name))) {
                // A link's own index is not its target's, and a file system
                // without indexes lists 0 for every file.
                const bool known = (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                                   entry->FileId.QuadPart != 0;
                files.push_back({folder + std::wstring(name),
                                 known ? std::optional<file_identity>(
                                             {about_folder.dwVolumeSerialNumber,
                                              static_cast<std::uint64_t>(entry->FileId.QuadPart)})
                                       : std::nullopt});
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
        }
    }
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        files.clear();
        return cannot_be_listed(error);
    }
    std::sort(files.begin(), files.end(), [](const named_file& left, const named_file& right) {
        const int order = CompareStringOrdinal(left.name.data(), static_cast<int>(left.name.size()),
                                               right.name.data(),
                                               static_cast<int>(right.name.size()), TRUE);
        // Names that differ in case only can share a folder on case-sensitive
        // file systems; ordinal order with case keeps the result stable.
        return order == CSTR_EQUAL ? left.name < right.name : order == CSTR_LESS_THAN;
    });
    return files.empty() ? std::wstring(no_match) : std::wstring();
}

std::wstring read_inventory_file(const named_file& named, file_identity& identity,
                                 std::string& bytes) {
    const HANDLE file = CreateFileW(named.name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return cannot_be_read(GetLastError());
    }
    const unique_file_handle owner(file);
    if (named.identity) {
        identity = *named.identity;
    } else {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(file, &information)) {
            return cannot_be_read(GetLastError());
        }
        identity = {information.dwVolumeSerialNumber,
                    std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
    }
    if (const std::uint32_t error = read_whole_file(file, max_inventory_bytes, bytes)) {
        return error == ERROR_FILE_TOO_LARGE ? std::wstring(L"too large to be an inventory")
                                              : cannot_be_read(error);
    }
    return {};
}
