#pragma once

#include <cstdint>
#include <string_view>

// What one row of a saved table says about its file at its location. The
// directory text itself is left out: machines differ in it by design. The
// texts point into the inventory's own text.
struct inventory_row {
    bool location_exists = false;
    bool file_present = false;
    std::uint64_t size = 0;
    std::wstring_view version;  // a.b.c.d or N/A while the file is present
    std::wstring_view hash;     // 40 lower-case hexadecimal digits while the file is present
};
