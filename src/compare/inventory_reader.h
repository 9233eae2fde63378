#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar::compare {

// What one row of a saved table says about its file at its location. The
// folder text is left out: machines differ in it by design. The texts point
// into the inventory's own text.
struct inventory_row {
    bool location_exists = false;
    bool file_present = false;
    std::uint64_t size = 0;
    std::wstring_view version;  // a.b.c.d or N/A while the file is present
    std::wstring_view hash;     // 40 lower-case hexadecimal digits while the file is present
};

// A table that the utility wrote and that was saved to a file, read back:
// complete without a problem; else incomplete, its table ended early, when
// it has rows, which can still be compared; else unusable. Not copied: a
// copy's rows would point into the original's text.
struct inventory {
    inventory() = default;
    inventory(const inventory&) = delete;
    inventory& operator=(const inventory&) = delete;

    std::vector<inventory_row> rows;  // the rows read, from the first
    std::wstring problem;             // why it is not complete, without the file's name
    std::wstring text;                // the rows' lines decoded, which the rows point into
};

// Saved tables are far smaller; anything beyond this is no inventory.
constexpr std::uint64_t max_inventory_bytes = 16 * 1024 * 1024;

// Reads a saved table from the whole of a file's `bytes`, as cmd and
// PowerShell save it (UTF-8 with or without its byte order mark, UTF-16LE
// with it; LF or CR LF), and checks that it is what the utility writes:
// title lines, its header, one row per manifest row in manifest order, each
// laid out as the utility lays it out and ended by a line end, one folder
// text per location, and after the last row nothing but empty lines.
void read_inventory(std::string_view bytes, inventory& into);

}  // namespace pelmar::compare
