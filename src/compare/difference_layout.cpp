#include "difference_layout.h"

#include <algorithm>

#include "location_name.h"
#include "manifest_rows.h"

namespace {

constexpr std::size_t column_gap = 2;

}  // namespace

std::size_t file_column_width() {
    static const std::size_t width = [] {
        std::size_t longest = 0;
        for (const manifest_row& row : manifest_rows()) {
            longest = std::max(longest, row.entry->file_name.size());
        }
        return longest + column_gap;
    }();
    return width;
}

std::size_t location_column_width() {
    static const std::size_t width = [] {
        std::size_t longest = 0;
        for (const manifest_row& row : manifest_rows()) {
            longest = std::max(longest, location_name(row.location).size());
        }
        return longest + column_gap;
    }();
    return width;
}
