#pragma once

#include <string>
#include <string_view>

#include "inventory_reader.h"

// How a row of an inventory differs from the baseline's row of the same file
// and location, the first that applies. The directory text plays no part.
enum class row_change {
    none,
    location_missing,
    location_added,
    file_missing,
    file_added,
    changed,  // version and/or size
    corrupt,  // the same version and size, other content
};

row_change compare_rows(const inventory_row& baseline, const inventory_row& other);

// The change's name, as CSV records give it.
std::wstring_view change_name(row_change change);

// The change in one phrase with the values that changed, as the text
// report gives it, e.g. "version 1.2.0.7 -> 1.2.0.8".
std::wstring change_text(row_change change, const inventory_row& baseline,
                         const inventory_row& other);
