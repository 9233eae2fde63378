// What Wine cannot show of the walk through the driver's folders: links and
// junctions (Wine 8 makes none, and follows the host's), folders that cannot
// be listed and a registry that cannot be read. The end-to-end test has the rest.
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "import_patch.h"
#include "install_location.h"
#include "location_cache.h"
#include "signature_run.h"
#include "test_helpers.h"

namespace {

// The print processor folder's listing, as scripted; its subfolder `sub`
// cannot be listed. Every other folder lists as it is.
const struct {
    const wchar_t* name;
    DWORD attributes;
    DWORD tag;
} scripted[] = {
    // Compressed: a reparse point with data of its own, claimed by the registry.
    {L"winprint.dll", FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_WOF},
    {L"link.dll", FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK},
    {L"junction", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY,
     IO_REPARSE_TAG_MOUNT_POINT},
    {L"sub", FILE_ATTRIBUTE_DIRECTORY, 0}};
std::wstring processor_folder;
// The real listing of that folder, whose entries the script replaces.
HANDLE scripted_listing = nullptr;
std::size_t next_entry = 0;
// For the replacements to call through to.
const import_patch* patches[2] = {};

BOOL next(WIN32_FIND_DATAW* data) {
    if (next_entry == std::size(scripted)) {
        scripted_listing = nullptr;  // a later listing may get its handle's value
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = {};
    wcscpy_s(data->cFileName, scripted[next_entry].name);
    data->dwFileAttributes = scripted[next_entry].attributes;
    data->dwReserved0 = scripted[next_entry++].tag;
    return TRUE;
}

HANDLE WINAPI find_first(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data,
                         FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
    if (pattern == processor_folder + L"sub\\*") {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE listing = patches[0]->original<decltype(&FindFirstFileExW)>()(
        pattern, level, data, search, filter, flags);
    if (pattern == processor_folder + L"*") {
        next_entry = 0;
        scripted_listing = listing;
        next(static_cast<WIN32_FIND_DATAW*>(data));
    }
    return listing;
}

BOOL WINAPI find_next(HANDLE listing, LPWIN32_FIND_DATAW data) {
    return listing == scripted_listing
               ? next(data)
               : patches[1]->original<decltype(&FindNextFileW)>()(listing, data);
}

std::wstring row(const std::wstring& status, const std::wstring& file, const std::wstring& detail) {
    std::wostringstream text;
    text << std::left << std::setw(12) << status << L'\t' << std::setw(30) << L"--" << L'\t'
         << std::setw(30) << file << L'\t' << std::setw(40) << detail << L'\t' << processor_folder
         << L'\n';
    return text.str();
}

}  // namespace

TEST(unclaimed_files, links_are_not_followed_and_what_cannot_be_read_gives_a_row_and_exit_2) {
    run_location_cache() = location_cache();
    processor_folder = location_directory(print_processor_directory);
    const import_patch first("kernel32.dll", "FindFirstFileExW", as_import(find_first));
    const import_patch next("kernel32.dll", "FindNextFileW", as_import(find_next));
    patches[0] = &first;
    patches[1] = &next;
    for (const bool registry_fails : {false, true}) {
        std::optional<import_patch> registry;
        if (registry_fails) {
            registry.emplace("advapi32.dll", "RegOpenKeyExW",
                             as_import([](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS {
                                 return ERROR_ACCESS_DENIED;
                             }));
        }
        std::wostringstream out;
        std::wostringstream error;
        run_location_cache() = location_cache();
        EXPECT_EQ(run_signatures({}, out, error), 2);
        const std::wstring registry_row =
            row(L"unreadable", L".\\",
                L"the registered print processors cannot be read. Error code: 0x00000005.");
        EXPECT_EQ(out.str().find(registry_row) != std::wstring::npos, registry_fails);
        for (const std::wstring& expected :
             {row(L"unsigned", L"link.dll", L"a link, not followed"),
              row(L"unsigned", L"junction", L"a junction, not followed"),
              row(L"unreadable", L"sub\\", L"cannot be listed. Error code: 0x00000005.")}) {
            EXPECT_THAT(out.str(), testing::HasSubstr(expected));
        }
        // Only without the registry is winprint.dll unclaimed.
        EXPECT_EQ(out.str().find(L"winprint.dll") != std::wstring::npos, registry_fails);
        EXPECT_EQ(error.str(), L"");
    }
}
