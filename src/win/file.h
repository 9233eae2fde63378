#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include <windows.h>

#include "result.h"
#include "unique_file_handle.h"

namespace pelmar::win {

// Opens the file at `path` to be read from start to end; others may read,
// write and delete it meanwhile.
[[nodiscard]] result<unique_file_handle> open_to_read(const std::wstring& path);

// Opens the file at `path` to be read at any offset; others may read and
// delete it meanwhile, and write it where `others_may_write`.
[[nodiscard]] result<unique_file_handle> open_to_read_at(const std::wstring& path,
                                                         bool others_may_write);

// Opens the folder at `path` to ask about it, without reading or listing it.
[[nodiscard]] result<unique_file_handle> open_folder_to_query(const std::wstring& path);

// Opens the folder at `path` to be listed and asked for its streams; others
// may read, write and delete it meanwhile. Through it, the files on its
// volume open by id (open_listed).
[[nodiscard]] result<unique_file_handle> open_folder_to_list(const std::wstring& path);

// The attributes of the file or folder at `path` (FILE_ATTRIBUTE_DIRECTORY
// and the like).
[[nodiscard]] result<DWORD> attributes_of(const std::wstring& path);

// What the open `file` is: FILE_TYPE_DISK for a file on a disk,
// FILE_TYPE_CHAR for a device such as a port, FILE_TYPE_PIPE for a pipe.
[[nodiscard]] result<DWORD> type_of(HANDLE file);

// Reads up to `into.size()` bytes of the open `file` from its file pointer
// (a newly opened file's start) and moves the pointer past them: how many it
// read, fewer at the file's end.
[[nodiscard]] result<std::size_t> read_next(HANDLE file, std::span<std::byte> into);

// Reads `into` whole from `offset` of the open `file`, whatever its file
// pointer; ERROR_HANDLE_EOF where the file ends before.
[[nodiscard]] status read_at(HANDLE file, std::uint64_t offset, std::span<std::byte> into);

// Which file a handle reads, whatever the path that named it: the volume's
// serial number, then the file id's upper half (0 for a 64-bit index) and
// lower half.
using file_id = std::array<std::uint64_t, 3>;

// The open file's id: the 128-bit one (Windows 8 and later), else the
// 64-bit file index.
[[nodiscard]] result<file_id> id_of(HANDLE file);

// The name of the file system that holds the open file, e.g. NTFS or ReFS.
[[nodiscard]] result<std::wstring> file_system_of(HANDLE file);

}  // namespace pelmar::win
