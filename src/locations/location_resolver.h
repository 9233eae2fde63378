#pragma once

#include <cstdint>
#include <string>

// Finds an install location afresh: its directory, its "<Missing ...>" text
// when it is not on this machine, or the empty text for a value that names no
// location. Spooler failures throw (pelmar::winspool).
std::wstring resolve_location(std::int32_t location);

// The printer driver location as the record of this program's own
// environment gives it ("Windows x64"), whatever the spooler lists first:
// the folder whose copies the spooler loads here. The same text or Missing
// text as resolve_location gives; resolved afresh, by no cache.
std::wstring resolve_native_printer_driver_directory();
