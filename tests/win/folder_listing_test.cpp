// How a folder's listing and a file's streams end where Windows refuses
// them, at once or part way, which no folder under Wine does: the calls are
// scripted.
#include <cstdint>

#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include "file.h"
#include "file_streams.h"
#include "folder_listing.h"
#include "import_patch.h"
#include "temp_folder.h"
#include "test_helpers.h"

namespace {

// The listing's answers: its first `given` calls as Windows answers them,
// then a failure with `code`.
int given = 0;
DWORD code = 0;
const import_patch* listing = nullptr;

BOOL WINAPI list_scripted(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID into, DWORD size) {
    if (given-- > 0) {
        return listing->original<decltype(&GetFileInformationByHandleEx)>()(file, kind, into,
                                                                              size);
    }
    SetLastError(code);
    return FALSE;
}

NTSTATUS query_status = 0;

NTSTATUS NTAPI query_scripted(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS) {
    return query_status;
}

}  // namespace

TEST(folder_listing, a_listing_refused_at_any_call_gives_that_call_s_error) {
    const temp_folder folder(L"listing");
    folder.write(L"a.dll", "a");
    folder.write(L"b.dll", "b");
    const import_patch patch("kernel32.dll", "GetFileInformationByHandleEx",
                             as_import(list_scripted));
    listing = &patch;
    const struct {
        const char* name;
        int given;
        DWORD code;
        std::uint32_t error;  // 0: listed, without entries
    } rows[] = {
        {"refused at once", 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"refused part way", 1, ERROR_NETNAME_DELETED, ERROR_NETNAME_DELETED},
        {"a drive's empty root, without even . and ..", 0, ERROR_FILE_NOT_FOUND, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        given = row.given;
        code = row.code;
        const auto listed = pelmar::win::list_folder(folder.path());
        EXPECT_EQ(listed ? 0u : listed.error().code, row.error);
        EXPECT_TRUE(!listed || listed.value().empty());
    }
}

TEST(file_streams, a_refused_query_gives_its_error_and_a_file_system_without_streams_none) {
    const temp_folder folder(L"streams");
    const auto file = pelmar::win::open_to_read(folder.write(L"a.dll", "a"));
    ASSERT_TRUE(file);
    const import_patch patch("ntdll.dll", "NtQueryInformationFile", as_import(query_scripted));
    const struct {
        const char* name;
        std::uint32_t status;
        std::uint32_t error;  // 0: no streams
    } rows[] = {
        {"refused", 0xC0000022 /* STATUS_ACCESS_DENIED */, ERROR_ACCESS_DENIED},
        {"a file system without streams (FAT)", 0xC000000D /* STATUS_INVALID_PARAMETER */, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        query_status = static_cast<NTSTATUS>(row.status);
        const auto streams = pelmar::win::list_streams(file.value().get());
        EXPECT_EQ(streams ? 0u : streams.error().code, row.error);
        EXPECT_TRUE(!streams || streams.value().empty());
    }
}
