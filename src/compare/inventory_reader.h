#pragma once

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "inventory_row.h"
#include "line_reader.h"
#include "manifest_rows.h"

// How far a saved table could be read.
struct inventory_reading {
    enum class outcome {
        complete,
        incomplete,  // the table ends early; its rows can still be compared
        unusable,
    };
    outcome result;
    std::size_t rows;      // the rows read, from the first
    std::wstring problem;  // why it is not complete, without the file's name
};

// Reads tables that the utility wrote and that were saved to a file, and
// checks that they are what the utility writes: its header, one row per
// manifest row in manifest order, each exactly as the utility lays it out.
class inventory_reader {
public:
    inventory_reader();

    // Reads the table in `file` into `rows`, one per manifest row; rows past
    // those read are left as they were.
    inventory_reading read(HANDLE file, std::vector<inventory_row>& rows);

private:
    // Why `line` is not the utility's row number `index`, or empty when it is.
    std::wstring parse_row(std::wstring_view line, std::size_t index, inventory_row& row);
    std::wstring check_columns(std::wstring_view line, std::size_t index, inventory_row& row);
    // Whether the utility would write exactly `line` for these values.
    bool renders_as(std::wstring_view line, std::wstring_view directory,
                    std::wstring_view file_name, std::uint64_t size, std::wstring_view version,
                    std::wstring_view hash);

    // A row's columns before its directory that were found valid, and the
    // values they hold.
    struct checked_columns {
        std::wstring text;
        inventory_row values;
    };

    line_reader lines_;
    std::wstring header_;
    std::wostringstream rendered_;
    // Per table row, the columns last found valid. Across a fleet most rows
    // repeat the baseline's word for word and need no second check.
    std::vector<checked_columns> checked_;
};

// The problem of a file that Windows would not open or read.
std::wstring cannot_be_read(std::uint32_t error_code);
