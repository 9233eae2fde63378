#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "install_location.h"

// Finds an install location afresh: its directory, its "<Missing ...>" text
// when it is not on this machine, or the empty text for a value that names no
// location. Spooler failures throw (pelmar::winspool).
std::wstring resolve_location(std::int32_t location);

// The folder of `location`, ending in a backslash, where it is on this
// machine; nothing where it is not. What resolve_location shows, without its
// Missing text; resolved afresh, by no cache. Spooler failures throw.
std::optional<std::wstring> find_location(install_location location);

// The printer driver location as the record of this program's own
// environment gives it ("Windows x64"), whatever the spooler lists first:
// the folder whose copies the spooler loads here. As find_location.
std::optional<std::wstring> find_native_printer_driver_directory();
