#pragma once

#include <cstddef>

// The comparison's lines about one table row line up their file and location
// names in columns two characters wider than the longest name of each.
std::size_t file_column_width();
std::size_t location_column_width();
