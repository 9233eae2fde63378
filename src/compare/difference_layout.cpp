#include "difference_layout.h"

#include <algorithm>
#include <string_view>

#include "location_name.h"
#include "manifest_rows.h"

namespace {

constexpr std::size_t column_gap = 2;

// The width of a column that holds `name_of` every table row.
template <typename name_function>
std::size_t column_width(name_function name_of) {
    std::size_t longest = 0;
    for (const manifest_row& row : manifest_rows()) {
        longest = std::max(longest, name_of(row).size());
    }
    return longest + column_gap;
}

}  // namespace

std::size_t file_column_width() {
    static const std::size_t width = column_width(
        [](const manifest_row& row) { return std::wstring_view(row.entry->file_name); });
    return width;
}

std::size_t location_column_width() {
    static const std::size_t width =
        column_width([](const manifest_row& row) { return location_name(row.location); });
    return width;
}
