#pragma once

#include <string_view>

#include <windows.h>

// Whether two file names name the same file, as Windows compares them: the
// letter case aside.
inline bool same_file_name(std::wstring_view left, std::wstring_view right) {
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}
