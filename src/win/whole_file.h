#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "result.h"

namespace pelmar::win {

// Reads the whole of the open `file` from its start into `bytes`, as far as
// its size when asked: a file that grows meanwhile reads as cut off, one that
// shrinks as shorter. Small files the programs read in one piece (saved
// inventories, catalogs) are capped, so that no other file fills the memory:
// ERROR_FILE_TOO_LARGE when the file holds more than `most_bytes`.
[[nodiscard]] status read_whole_file(HANDLE file, std::uint64_t most_bytes, std::string& bytes);

}  // namespace pelmar::win
