#pragma once

#include <ostream>
#include <span>

// Checks the signature of every file of the driver found on this machine:
// `arguments` are the options ([--signer NAME]..., [--thumbprint HEX]...,
// --help, /?). Writes the table and its summary line to `out`, and usage
// errors and the line that says why the check could not run to `error`.
// Returns the exit code: 0 when every file found is signed or in a catalog
// (by an expected signer) and at least one was found, 2 when a file could
// not be read or checked or the check could not run, 1 otherwise.
int run_signatures(std::span<const wchar_t* const> arguments, std::wostream& out,
                   std::wostream& error);
