#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "install_location.h"

// A location's name as the comparison prints it: its Missing text without
// the surrounding "<Missing " and ">".
std::wstring_view location_name(install_location location);

// Writes the file and location names of table row `row`, each in a column
// two characters wider than the longest name, so that lines about rows line up.
std::wostream& print_row_names(std::wostream& out, std::size_t row);
