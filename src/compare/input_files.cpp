#include "input_files.h"

#include <algorithm>
#include <cstring>

#include <windows.h>

#include "error_code_text.h"
#include "unique_file_handle.h"

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

std::wstring cannot_be_listed(DWORD error_code) {
    return L"the folder cannot be listed. " + error_code_text(error_code);
}

// Whether `name` matches the wildcard `pattern`, both in upper case.
bool matches_wildcard(std::wstring_view pattern, std::wstring_view name) {
    // As in cmd, a final "." asks for names without an extension.
    if (pattern.ends_with(L'.')) {
        if (name.find(L'.') != std::wstring_view::npos) {
            return false;
        }
        pattern.remove_suffix(1);
    }
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

// FILE_ID_INFO and its class, which the headers declare for Windows 8 and
// later only; Windows 7 refuses the call.
struct file_id_info {
    ULONGLONG volume_serial;
    BYTE file_id[16];
};
constexpr auto file_id_info_class = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

}  // namespace

std::wstring files_named(const std::wstring& argument, std::vector<std::wstring>& files) {
    files.clear();
    const std::size_t folder_end = folder_length(argument);
    if (argument.find_first_of(L"*?", folder_end) == std::wstring::npos) {
        files.push_back(argument);
        return {};
    }
    // "C:" is drive C's current folder, as "" is the current folder.
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
                files.push_back(folder + std::wstring(name));
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
    std::sort(files.begin(), files.end(), [](const std::wstring& left, const std::wstring& right) {
        const int order = CompareStringOrdinal(left.data(), static_cast<int>(left.size()),
                                               right.data(),
                                               static_cast<int>(right.size()), TRUE);
        // Names that differ in case only can share a folder on case-sensitive
        // file systems; ordinal order with case keeps the result stable.
        return order == CSTR_EQUAL ? left < right : order == CSTR_LESS_THAN;
    });
    return files.empty() ? std::wstring(no_match) : std::wstring();
}

std::optional<file_identity> certain_identity(HANDLE file) {
    file_identity identity;
    file_id_info about{};
    BY_HANDLE_FILE_INFORMATION old{};
    if (GetFileInformationByHandleEx(file, file_id_info_class, &about, sizeof about)) {
        identity.volume_serial = about.volume_serial;
        std::memcpy(&identity.low, about.file_id, sizeof identity.low);
        std::memcpy(&identity.high, about.file_id + sizeof identity.low, sizeof identity.high);
    } else if (GetFileInformationByHandle(file, &old)) {
        identity.volume_serial = old.dwVolumeSerialNumber;
        identity.low = std::uint64_t{old.nFileIndexHigh} << 32 | old.nFileIndexLow;
    } else {
        return std::nullopt;
    }
    constexpr std::uint64_t ones = ~std::uint64_t{0};
    const bool certain = (identity.low != 0 || identity.high != 0) &&
                         (identity.low != ones || (identity.high != 0 && identity.high != ones));
    return certain ? std::optional(identity) : std::nullopt;
}
