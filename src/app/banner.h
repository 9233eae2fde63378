#pragma once

#include <ostream>

// Writes the title with the program's own file version, when readable, and
// the ownership notice, followed by an empty line.
void print_banner(std::wostream& out);
