#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "file_verdict.h"

namespace pelmar::signatures {

// The check's table: status, signer, file name, detail and folder, separated
// by single tabs, all but the folder padded to a fixed width on the left, as
// the inventory's table is. An absent signer or detail shows as "--".
namespace signature_layout {

constexpr std::size_t status_width = 12;
constexpr std::size_t signer_width = 30;
constexpr std::size_t detail_width = 40;

}  // namespace signature_layout

// A row's DETAIL: its reasons joined by "; ", each its words and, after a
// failure, its code ("cannot be read. Error code: 0x00000020.").
[[nodiscard]] std::wstring detail_text(const file_verdict& verdict);

// Writes the header line's columns, without the line end.
std::wostream& print_signature_header(std::wostream& out);

// Writes one file's columns, without the line end.
std::wostream& print_signature_row(std::wostream& out, const file_verdict& verdict,
                                   const std::wstring& file_name, const std::wstring& directory);

// The same rows as CSV, written through the console output as the compare
// program writes its own: RFC 4180, UTF-8, CR LF. The header comes after
// the byte order mark, by which Excel knows the text for UTF-8; each record
// ends its line. `kind`: as kind_text spells a row's kind.
void print_signature_csv_header(std::wostream& out);
void print_signature_csv_row(std::wostream& out, const file_verdict& verdict,
                             const std::wstring& file, const std::wstring& folder,
                             std::wstring_view kind);

// Counts the rows by status, for the summary line and the exit code.
class status_tally {
public:
    void count(signature_status status) { ++counts_[static_cast<std::size_t>(status)]; }

    // "20 files: 18 catalog, 1 signed, 1 altered".
    std::wstring summary() const;
    std::uint64_t total() const;
    // ": 18 catalog, 1 signed, 1 altered", the statuses by count, most
    // frequent first, ties in the order the statuses are listed in; empty
    // when nothing was counted.
    std::wstring counts_text() const;

    // 0 when every file found is signed or in a catalog and at least one
    // was found; 2 when a file could not be read or checked; 1 otherwise.
    [[nodiscard]] int exit_code() const;

private:
    std::array<std::uint64_t, signature_status_count> counts_{};
};

}  // namespace pelmar::signatures
