#include "row_names.h"

#include <algorithm>
#include <iomanip>

#include "manifest_rows.h"
#include "missing_text.h"

std::wstring_view location_name(install_location location) {
    std::wstring_view name = missing_text(location);
    name.remove_prefix(std::wstring_view(L"<Missing ").size());
    name.remove_suffix(1);
    return name;
}

std::wostream& print_row_names(std::wostream& out, std::size_t row) {
    static const auto widths = [] {
        std::size_t file = 0;
        std::size_t location = 0;
        for (const manifest_row& each : manifest_rows()) {
            file = std::max(file, each.entry->file_name.size());
            location = std::max(location, location_name(each.location).size());
        }
        return std::pair(static_cast<std::streamsize>(file + 2),
                         static_cast<std::streamsize>(location + 2));
    }();
    const manifest_row& names = manifest_rows()[row];
    return out << std::left << std::setw(widths.first) << names.entry->file_name
               << std::setw(widths.second) << location_name(names.location);
}
