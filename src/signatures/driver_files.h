#pragma once

#include <map>
#include <string>
#include <vector>

#include "catalogs.h"
#include "install_location.h"
#include "signature_checker.h"
#include "signature_row.h"
#include "signature_table.h"

namespace pelmar::signatures {

// How many threads judge the driver's files: one per processor, at most a few.
[[nodiscard]] unsigned worker_count();

// Judges the driver's own files where the manifest looks for them, on one
// thread per hasher: each location found once, on this thread, and its
// package catalog read into `checker` before any file in it is judged. Each
// file that is there gets its row, in the manifest's order, through `print`,
// counted in `tally`. Returns the locations found, their folders as the rows
// show them. A location that cannot be found ends the list at its row: the
// rows before it are still judged and printed, then its failure is thrown.
std::map<install_location, std::wstring> check_driver_files(
    signature_checker& checker, const std::vector<win::catalog_hasher>& hashers,
    const row_printer& print, status_tally& tally);

}  // namespace pelmar::signatures
