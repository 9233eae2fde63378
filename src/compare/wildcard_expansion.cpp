#include "wildcard_expansion.h"

#include <algorithm>

#include <windows.h>

#include "unique_find_handle.h"

namespace {

constexpr std::wstring_view separators = L"\\/:";

}  // namespace

bool has_wildcards(std::wstring_view argument) {
    return argument.substr(folder_part(argument).size()).find_first_of(L"*?") !=
           std::wstring_view::npos;
}

std::wstring_view folder_part(std::wstring_view argument) {
    const std::size_t last = argument.find_last_of(separators);
    return last == std::wstring_view::npos ? std::wstring_view() : argument.substr(0, last + 1);
}

std::uint32_t matching_files::find(const std::wstring& pattern) {
    names_.clear();
    order_.clear();
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    const unique_find_handle owner(search);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            order_.push_back(static_cast<std::uint32_t>(names_.size()));
            names_.append(found.cFileName).push_back(L'\0');
        }
    } while (FindNextFileW(owner.get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        order_.clear();
        return error;
    }
    std::sort(order_.begin(), order_.end(), [this](std::uint32_t left, std::uint32_t right) {
        const std::wstring_view first = stored(left);
        const std::wstring_view second = stored(right);
        const int order =
            CompareStringOrdinal(first.data(), static_cast<int>(first.size()), second.data(),
                                 static_cast<int>(second.size()), TRUE);
        // Names that differ in case only can share a folder on case-sensitive
        // file systems; ordinal order with case keeps the result stable.
        return order == CSTR_EQUAL ? first < second : order == CSTR_LESS_THAN;
    });
    return 0;
}

std::wstring_view matching_files::name(std::size_t index) const {
    return stored(order_[index]);
}

std::wstring_view matching_files::stored(std::uint32_t start) const {
    return std::wstring_view(names_.data() + start);
}
