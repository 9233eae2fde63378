#pragma once

#include <string>

#include "inventory_row.h"

// How `other` differs from the `baseline` row of the same file and location,
// in one phrase; empty when it does not. The directory text plays no part.
std::wstring row_change(const inventory_row& baseline, const inventory_row& other);
