#pragma once

#include <cstdint>
#include <string>

#include "file_verdict.h"
#include "signature_table.h"

namespace pelmar::signatures {

// What the walk through the spooler's and the driver's folders and its
// registrations found beyond the manifest's files: "2 unclaimed: 1
// unsigned, 1 signed; 412 claimed, 1 with a row: 1 unsigned; 14 registered;
// 0 exposed settings", and an exit code, 2 when a file, folder or key could
// not be read or checked, 1 when an alarming file or registration was
// found, 0 otherwise. Settings and missing libraries change no exit code.
class unclaimed_tally {
public:
    // An unclaimed file's row. `alarming`: an executable image that no
    // signer the user named signed, or a link.
    void count(signature_status status, bool alarming);
    // A file that an installed driver, a print processor or Windows
    // accounts for, and that needs no row.
    void count_claimed() { ++claimed_; }
    // Such a file's row: an image whose signature does not hold.
    void count_claimed_row(signature_status status);
    // A library or registration the registry names that needs no row, and
    // one that has a row.
    void count_registered() { ++registered_; }
    void count_registered_row(signature_status status);
    void count_setting() { ++settings_; }
    std::wstring summary() const;
    [[nodiscard]] int exit_code() const;

private:
    status_tally statuses_;
    status_tally claimed_rows_;
    status_tally registered_rows_;
    std::uint64_t unchecked_ = 0;
    std::uint64_t alarming_ = 0;
    std::uint64_t claimed_ = 0;
    std::uint64_t registered_ = 0;
    std::uint64_t settings_ = 0;
};

}  // namespace pelmar::signatures
