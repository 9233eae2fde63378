#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

// Reads the whole of the open `file` into `bytes`, as far as its size when
// asked: a file that grows meanwhile reads as cut off, one that shrinks as
// shorter. Small files the programs read in one piece (saved inventories,
// catalogs) are capped, so that no other file fills the memory. Returns 0,
// ERROR_FILE_TOO_LARGE when the file holds more than `most_bytes`, or the
// Windows error code of the call that failed.
[[nodiscard]] std::uint32_t read_whole_file(HANDLE file, std::uint64_t most_bytes,
                                            std::string& bytes);
