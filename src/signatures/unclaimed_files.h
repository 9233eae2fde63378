#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "catalogs.h"
#include "file_verdict.h"
#include "install_location.h"
#include "signature_checker.h"
#include "signature_row.h"
#include "unclaimed_tally.h"

namespace pelmar::signatures {

// Walks the spooler's folders, every environment's drivers and print
// processors, and the driver's locations found on this machine, in
// `directories` (their texts as the driver rows show them), and gives a row to
// every file that nobody claims and to every claimed executable image that
// Windows did not install (trusted_image), judged by `checker`, with the
// signers the user named, and `hasher`. Then the same to each library that
// the registry names for the spooler to load and the walk did not judge, and
// a row to each registration and setting that lets others add to what it
// loads. Throws
// pelmar::winspool::enum_printer_drivers_exception when the installed
// drivers cannot be listed.
void check_unclaimed_files(const signature_checker& checker, const win::catalog_hasher& hasher,
                           const std::map<install_location, std::wstring>& directories,
                           const row_printer& print,
                           unclaimed_tally& tally);

}  // namespace pelmar::signatures
