#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

// The files that an argument names, into `files`. cmd.exe hands wildcards to
// the program unexpanded, so it expands them itself, in the argument's last
// component only: the argument itself when it holds no wildcard; else the
// files, not folders, whose long names match that component (`*` any run of
// characters, `?` one, a final `.` no extension, without regard to case),
// each after the argument's folder as typed, in ordinal order without regard
// to case. Returns why there are none: nothing matches, or the folder could
// not be listed.
std::wstring files_named(const std::wstring& argument, std::vector<std::wstring>& files);

// Which file a handle reads, whatever the path that named it: another
// spelling, an 8.3 name, a subst drive, a share or a link.
struct file_identity {
    std::uint64_t volume_serial = 0;
    std::uint64_t high = 0;  // the file id's upper half, 0 for a 64-bit index
    std::uint64_t low = 0;
    auto operator<=>(const file_identity&) const = default;
};

// The open file's identity where the file system gives one for certain: the
// 128-bit file id (Windows 8 and later), else the 64-bit file index; never
// one of 0 or all ones, which some file systems and network redirectors
// give every file.
std::optional<file_identity> certain_identity(HANDLE file);
