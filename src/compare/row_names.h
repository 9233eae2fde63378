#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "install_location.h"

// A location's name as the comparison prints it: its Missing text without
// the surrounding "<Missing " and ">".
std::wstring_view location_name(install_location location);

// The file and location names of table row `row`, each padded to two
// characters beyond the longest name, so that lines about rows line up.
std::wstring row_names(std::size_t row);
