#include "folder_listing.h"

#include <algorithm>

#include "unique_handle.h"

namespace {

using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;

}  // namespace

std::uint32_t list_folder(const std::wstring& folder, std::vector<folder_entry>& entries) {
    WIN32_FIND_DATAW data{};
    // `*` matches every long name once, where a pattern would also match
    // short 8.3 names; the basic level leaves those out.
    const HANDLE found =
        FindFirstFileExW((folder + L'*').c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    const unique_find_handle owner(found);
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({std::wstring(name), data.dwFileAttributes, data.dwReserved0});
        }
    } while (FindNextFileW(found, &data));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        return error;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& left, const auto& right) {
        return left.is_folder() != right.is_folder() ? right.is_folder()
                                                     : file_name_before(left.name, right.name);
    });
    return 0;
}

std::wstring file_name_key(std::wstring_view name) {
    // Invariant: the same in every language, as file systems compare names.
    std::wstring key(name);
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                  static_cast<int>(name.size()), key.data(), static_cast<int>(key.size()), nullptr,
                  nullptr, 0);
    return key;
}

bool file_name_before(std::wstring_view left, std::wstring_view right) {
    const int order = CompareStringOrdinal(left.data(), static_cast<int>(left.size()),
                                           right.data(), static_cast<int>(right.size()), TRUE);
    return order == CSTR_EQUAL ? left < right : order == CSTR_LESS_THAN;
}
