#pragma once

#include <vector>

#include "install_location.h"
#include "manifest_entry.h"

// One row of the table: a manifest file at one of its locations.
struct manifest_row {
    const manifest_entry* entry;
    install_location location;
};

// Every row of the table in the order the utility writes them: manifest
// order, and within an entry ascending location bits.
const std::vector<manifest_row>& manifest_rows();
