#pragma once

#include <ostream>

#include "manifest_entry.h"

// Writes the inventory table for the entries [first, last) to out: a header
// line, then one row per entry and location of its mask, in manifest order
// and ascending location order. Failures of the spooler or the CryptoAPI
// propagate; rows already written stay written.
void print_report(const manifest_entry* first, const manifest_entry* last, std::wostream& out);
