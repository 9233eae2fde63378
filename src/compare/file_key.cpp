#include "file_key.h"

#include <windows.h>

std::wstring full_path(const std::wstring& name) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length =
        GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
    if (length >= path.size()) {
        // Too small: the length asked for counts the terminating NUL.
        path.resize(length);
        length =
            GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

bool ignoring_case_less::operator()(const std::wstring& left, const std::wstring& right) const {
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
}
