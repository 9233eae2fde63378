#pragma once

#include <ostream>
#include <string_view>

// One field of a CSV record (RFC 4180), quoted where it holds a comma, a
// double quote or a line end. The programs write CSV through the console
// output, which makes each line feed the CR LF that RFC 4180 asks for.
void write_csv_field(std::wostream& out, std::wstring_view field);
