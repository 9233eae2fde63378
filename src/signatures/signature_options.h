#pragma once

#include <span>
#include <string>
#include <vector>

namespace pelmar::signatures {

// The table, or what --csv or --json asks for instead.
enum class output_format { table, csv, json };

// What the command line asks of the check.
struct options {
    bool help = false;
    output_format format = output_format::table;
    std::vector<std::wstring> signers;
    std::vector<std::vector<unsigned char>> thumbprints;
};

// The options in `arguments` into `parsed`; false, with the text of what is
// wrong with them in `problem`, where they are not the check's.
[[nodiscard]] bool parse_options(std::span<const wchar_t* const> arguments, options& parsed,
                                 std::wstring& problem);

}  // namespace pelmar::signatures
