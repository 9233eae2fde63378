#pragma once

#include <initializer_list>
#include <ostream>
#include <string_view>

// One CSV record (RFC 4180) and its line end: each field quoted where it
// holds a comma, a double quote or a line end. A field that starts as a
// formula does (=, +, -, @, or a TAB or carriage return before one) gets a
// leading apostrophe, since Excel would take it for one, and the names of
// files, signers and inventories are whatever their makers chose. The programs write CSV through the console output, which makes the
// line feed the CR LF that RFC 4180 asks for.
void write_csv_record(std::wostream& out, std::initializer_list<std::wstring_view> fields);
