// What Wine cannot show of the walk through the driver's folders: links and
// junctions (Wine 8 makes none, and follows the host's), folders that cannot
// be listed and a registry that cannot be read. The end-to-end test has the rest.
#include <cstring>
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
// That folder's handle while its listing is scripted, and whether the
// script was given.
HANDLE scripted_listing = nullptr;
bool script_given = false;
// For the replacements to call through to.
const import_patch* patches[2] = {};

HANDLE WINAPI open_scripted(LPCWSTR path, DWORD access, DWORD share,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE model) {
    if (path == processor_folder + L"sub\\") {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE opened = patches[0]->original<decltype(&CreateFileW)>()(
        path, access, share, security, disposition, flags, model);
    if (path == processor_folder) {
        scripted_listing = opened;
        script_given = false;
    }
    return opened;
}

BOOL WINAPI list_scripted(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID into, DWORD size) {
    if (file != scripted_listing || kind != FileIdBothDirectoryInfo) {
        return patches[1]->original<decltype(&GetFileInformationByHandleEx)>()(file, kind, into,
                                                                               size);
    }
    if (script_given) {
        scripted_listing = nullptr;  // a later handle may get the same value
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    script_given = true;
    auto* record = static_cast<FILE_ID_BOTH_DIR_INFO*>(into);
    for (const auto& entry : scripted) {
        *record = {};
        record->FileAttributes = entry.attributes;
        record->EaSize = entry.tag;
        record->FileNameLength = static_cast<DWORD>(wcslen(entry.name) * sizeof(wchar_t));
        std::memcpy(record->FileName, entry.name, record->FileNameLength);
        // Room for each name, and aligned for the next record.
        record->NextEntryOffset = &entry == std::end(scripted) - 1 ? 0 : sizeof *record + 64;
        record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<char*>(record) +
                                                          record->NextEntryOffset);
    }
    return TRUE;
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
    const import_patch opening("kernel32.dll", "CreateFileW", as_import(open_scripted));
    const import_patch listing("kernel32.dll", "GetFileInformationByHandleEx", as_import(list_scripted));
    patches[0] = &opening;
    patches[1] = &listing;
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
