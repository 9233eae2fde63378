#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "result.h"
#include "unique_file_handle.h"

namespace pelmar::win {

// Whether a file index or file id tells one file from every other: some file
// systems and network redirectors give every file 0 or all ones.
constexpr bool tells_files_apart(std::uint64_t id) { return id != 0 && id != ~std::uint64_t{0}; }

// One entry of a folder, as its listing gives it.
struct folder_entry {
    std::wstring name;
    DWORD attributes;
    DWORD reparse_tag;  // where the attributes mark a reparse point
    // The file system's 64-bit index of the file: its id on every file system but ReFS.
    std::uint64_t file_index;

    bool is_folder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // Symbolic links and junctions stand in for another name; other reparse
    // points (compressed or deduplicated files) hold their own data.
    bool is_link() const {
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
               IsReparseTagNameSurrogate(reparse_tag);
    }
};

// The entries of `folder` (a path to a folder) but `.` and `..`, files
// first, each part in the order of their names with letter case aside, so
// that a listing reads the same on every file system.
[[nodiscard]] result<std::vector<folder_entry>> list_folder(const std::wstring& folder);
// The same, of a folder opened to be listed (open_folder_to_list).
[[nodiscard]] result<std::vector<folder_entry>> list_folder(HANDLE folder);

// Opens what `entry` of a listing names, at `path`, as the very file listed,
// by the file id the listing gave: through the verbatim form of its path
// where that leads to the file of that id, else by the id on the volume of
// `listed` (any handle there, such as the listed folder's). A folder opens
// to be listed, a file to be read; others may read, write and delete it
// meanwhile. Fails with ERROR_INVALID_PARAMETER for an id that names no file
// any more, ERROR_NOT_SUPPORTED where the file system gave no id (the
// spooler's and the driver's folders are on NTFS).
[[nodiscard]] result<unique_file_handle> open_listed(HANDLE listed, const std::wstring& path,
                                                     const folder_entry& entry);

// The full path `path` in the `\\?\` form, which Windows hands to the file
// system as it is: a device name such as `COM3.dll` is not taken for the
// device (opening that can block), a trailing dot or space is not dropped.
// A device path (`\\?\`, `\\.\`) as it is; empty for a path that is
// not a full one.
std::wstring verbatim_path(const std::wstring& path);

// A file name or path as Windows compares them, letter case aside: names
// with the same key name the same file.
std::wstring file_name_key(std::wstring_view name);

// Whether two file names name the same file, as Windows compares them: the
// letter case aside.
[[nodiscard]] bool same_file_name(std::wstring_view left, std::wstring_view right);

// Whether `name` names a locale this Windows knows (`en-US`), as the folders
// of language resources are named.
[[nodiscard]] bool is_locale_name(const std::wstring& name);

// File names in order, letter case aside. Names that differ in case only can
// share a folder on case-sensitive file systems; ordinal order with case
// between those keeps a listing's order the same from run to run.
bool file_name_before(std::wstring_view left, std::wstring_view right);

}  // namespace pelmar::win
