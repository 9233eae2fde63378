#pragma once

#include <vector>

#include "install_location.h"
#include "manifest_entry.h"

// One row of the table: a manifest file at one of its locations.
struct manifest_row {
    const manifest_entry* entry;
    install_location location;
};

// The table's rows for the entries [first, last), in the order the table
// lists them: entry by entry, and within an entry ascending location bits.
// Writing a table and reading one back both go by this order.
std::vector<manifest_row> manifest_rows(const manifest_entry* first, const manifest_entry* last);

// The rows of the whole manifest's table.
const std::vector<manifest_row>& manifest_rows();
