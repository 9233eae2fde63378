#include "row_names.h"

#include <algorithm>

#include "manifest_rows.h"
#include "missing_text.h"

std::wstring_view location_name(install_location location) {
    std::wstring_view name = missing_text(location);
    name.remove_prefix(std::wstring_view(L"<Missing ").size());
    name.remove_suffix(1);
    return name;
}

std::wstring row_names(std::size_t row) {
    static const auto widths = [] {
        std::pair<std::size_t, std::size_t> longest;
        for (const manifest_row& each : manifest_rows()) {
            longest.first = std::max(longest.first, each.entry->file_name.size());
            longest.second = std::max(longest.second, location_name(each.location).size());
        }
        return std::pair(longest.first + 2, longest.second + 2);
    }();
    const manifest_row& names = manifest_rows()[row];
    std::wstring text = names.entry->file_name;
    text.resize(widths.first, L' ');
    text += location_name(names.location);
    text.resize(widths.first + widths.second, L' ');
    return text;
}
