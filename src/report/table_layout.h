#pragma once

#include <cstddef>
#include <ostream>

#include "file_info.h"

// The inventory table's columns, in order: digest, size, version, file name
// and directory, separated by single tabs. All but the directory are padded
// to a fixed width, the size to the right and the others to the left.
namespace table_layout {

constexpr std::size_t hash_width = 40;
constexpr std::size_t size_width = 10;
constexpr std::size_t version_width = 25;
constexpr std::size_t file_name_width = 30;
constexpr wchar_t separator = L'\t';

}  // namespace table_layout

// Writes the header line's columns, without the line end.
std::wostream& print_header(std::wostream& out);

// Writes one record's five columns, without the line end.
std::wostream& print_row(std::wostream& out, const file_info& info);
