#pragma once

#include <cstdint>
#include <string>

// Finds an install location afresh: its directory, its "<Missing ...>" text
// when it is not on this machine, or the empty text for a value that names no
// location. Spooler failures throw (pelmar::winspool).
std::wstring resolve_location(std::int32_t location);
