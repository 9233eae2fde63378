#pragma once

#include <compare>
#include <cstdint>

#include <windows.h>

// Tells one file from another whatever path names it: another spelling,
// another case, a link.
struct file_identity {
    std::uint32_t volume;
    std::uint64_t index;

    auto operator<=>(const file_identity&) const = default;
};

// The identity of the open `file`; false, with the last error set, when
// Windows cannot tell it.
bool identify_file(HANDLE file, file_identity& identity);
