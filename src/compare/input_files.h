#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which file a name opened, whatever the path that named it: another
// spelling, an 8.3 name, a subst drive, a share or a link.
struct file_identity {
    std::uint32_t volume_serial = 0;
    std::uint64_t file_index = 0;
    auto operator<=>(const file_identity&) const = default;
};

struct named_file {
    std::wstring name;
    // Known from the folder's listing; else asked of the file once it is open.
    std::optional<file_identity> identity;
};

// The files that an argument names, into `files`. cmd.exe hands wildcards to
// the program unexpanded, so it expands them itself, in the argument's last
// component only: the argument itself when it holds no wildcard; else the
// files, not folders, whose long names match that component (`*` any run of
// characters, `?` one, without regard to case), each after the argument's
// folder as typed, in ordinal order without regard to case. Returns why there
// are none: nothing matches, or the folder could not be listed.
std::wstring files_named(const std::wstring& argument, std::vector<named_file>& files);

// Reads the whole of `file` into `bytes`, which are reused from file to file,
// and tells which file it is. Returns why it could not be read, or nothing.
std::wstring read_inventory_file(const named_file& file, file_identity& identity,
                                 std::string& bytes);
