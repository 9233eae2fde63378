#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "file.h"

namespace pelmar::compare {

// Whether `name` matches the wildcard `pattern` (`*` any run of characters,
// `?` one), both as file_name_key gives them, without regard to case.
[[nodiscard]] bool matches_wildcard(std::wstring_view pattern, std::wstring_view name);

// Which file a handle reads, whatever the path that named it (another
// spelling, an 8.3 name, a subst drive, a share or a link).
using file_identity = win::file_id;

// The open file's identity where the file system gives one for certain: the
// 128-bit file id (Windows 8 and later), else the 64-bit file index.
[[nodiscard]] std::optional<file_identity> certain_identity(HANDLE file);

struct named_file {
    std::wstring name;
    std::optional<file_identity> identity;  // from the folder's listing, where it tells
};

// The files that an argument names, into `files`: cmd.exe hands wildcards
// to the program unexpanded. The argument itself when its last component
// holds no wildcard; else the files, not folders, whose long names match it,
// each after the argument's folder as typed, in the listing's order. Returns
// why there are none: nothing matches, or the folder could not be listed.
[[nodiscard]] std::wstring files_named(const std::wstring& argument,
                                       std::vector<named_file>& files);

}  // namespace pelmar::compare
