#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "signature_row.h"

namespace pelmar::signatures {

// Where the check's rows go, each writer in its own format, all from the
// same rows.
class row_writer {
public:
    virtual ~row_writer() = default;
    virtual void row(const signature_row& row) = 0;
    // After the last row: the summary line and the run's exit code.
    virtual void summary(const std::wstring& text, int exit_code) = 0;
};

// The table, its header written at once, and the summary as its last line.
[[nodiscard]] std::unique_ptr<row_writer> table_writer(std::wostream& out);
// CSV for Excel and Import-Csv, its header written at once; no summary.
[[nodiscard]] std::unique_ptr<row_writer> csv_writer(std::wostream& out);
// JSON Lines for SIEMs: an object per row with the CSV's fields, the
// file's SHA-256 and what claims it, then one with the summary and the exit
// code.
[[nodiscard]] std::unique_ptr<row_writer> json_writer(std::wostream& out);

}  // namespace pelmar::signatures
