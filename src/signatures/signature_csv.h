#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "file_verdict.h"

// The check's rows as CSV, written through the console output as the compare
// program writes its own: RFC 4180, UTF-8, CR LF. No summary line.

// The byte order mark, by which Excel knows the text for UTF-8, and the header.
void print_signature_csv_header(std::wostream& out);

// One record, ending its line. `kind`: "driver" or "unclaimed".
void print_signature_csv_row(std::wostream& out, const file_verdict& verdict,
                             const std::wstring& file, const std::wstring& folder,
                             std::wstring_view kind);
