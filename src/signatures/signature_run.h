#pragma once

#include <ostream>
#include <span>

namespace pelmar::signatures {

// Checks the signature of every file of the driver found on this machine,
// then of every file in its folders that nothing installed accounts for:
// `arguments` are the options (--csv, [--signer NAME]..., [--thumbprint
// HEX]..., --help, /?). Writes the table and its summary line (or CSV) to
// `out`, and usage errors and the line that says why the check could not
// run to `error`. Returns the exit code: 2 when a file or folder could not
// be read or checked or the check could not run; 1 when a driver file is
// not signed or in a catalog (by an expected signer), none was found, or an
// unclaimed executable image or link was; 0 otherwise.
[[nodiscard]] int run_signatures(std::span<const wchar_t* const> arguments, std::wostream& out,
                                 std::wostream& error);

}  // namespace pelmar::signatures
