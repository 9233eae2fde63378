// What Wine cannot show of the walk through the spooler's folders: links and
// junctions (Wine 8 makes none, and follows the host's), folders that cannot
// be opened, a registry that cannot be read, alternate data streams, and a
// file named as a device. Every folder the walk starts
// from lists as scripted: the print processor folder as a case gives it, the
// others as empty, so that the walk's own exit code speaks of the case alone.
// The end-to-end tests have the rest.
#include <cstring>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include "import_patch.h"
#include "install_location.h"
#include "location_resolver.h"
#include "catalogs.h"
#include "signature_checker.h"
#include "signature_table.h"
#include "test_helpers.h"
#include "unclaimed_files.h"

namespace {

struct scripted_entry {
    const wchar_t* name;
    DWORD attributes;
    DWORD tag;
    std::uint64_t id;  // 0: the file of that name in the folder, as it is
    const wchar_t* id_of_file = nullptr;  // listed with the id of this file in the folder
};

constexpr std::uint64_t unopenable_folder = 0x5ab;

struct walk_case {
    const char* name;
    std::vector<scripted_entry> listing;
    bool registry_fails;
    std::vector<std::wstring> rows;  // status, file and detail of each, in order
    int exit_code;
    // An alternate data stream that the folder and each file hold, whose
    // content is the folder's winprint.dll's.
    const wchar_t* stream = nullptr;
    // The print processor folder stands for the driver package folder, which
    // Wine's spooler never names.
    bool package_folder = false;
};

std::wstring processor_folder;
const std::vector<scripted_entry>* listing = nullptr;
// The listings opened and not yet given, by handle.
std::vector<std::pair<HANDLE, bool>> scripted_handles;
const import_patch* patches[4] = {};
const wchar_t* stream = nullptr;
std::vector<HANDLE> stream_hosts;  // the print processor folder and its files, opened
// While the walk runs: the libraries that the prefix's own registrations name
// are opened by their plain paths, as the walk's listed files never are, and
// are absent here, so that their rows speak of no case.
bool registered_absent = false;

HANDLE WINAPI open_scripted(LPCWSTR path, DWORD access, DWORD share,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE model) {
    const std::wstring_view opening(path);
    if (registered_absent && access == GENERIC_READ && !opening.starts_with(L"\\\\?\\")) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (opening.ends_with(L"COM3.dll") && !opening.starts_with(L"\\\\?\\")) {
        ADD_FAILURE() << "a device's name opened through a path Windows rewrites: "
                      << std::wstring(opening);
    }
    // Wine keeps no streams: the scripted one opens as the folder's image.
    const std::wstring target =
        stream != nullptr && opening.ends_with(std::wstring(L":") + stream)
            ? processor_folder + L"winprint.dll"
            : std::wstring(opening);
    const HANDLE opened = patches[0]->original<decltype(&CreateFileW)>()(
        target.c_str(), access, share, security, disposition, flags, model);
    if (opened != INVALID_HANDLE_VALUE &&
        (opening == processor_folder || opening.starts_with(L"\\\\?\\" + processor_folder))) {
        stream_hosts.push_back(opened);
    }
    if ((access & FILE_LIST_DIRECTORY) != 0 && opened != INVALID_HANDLE_VALUE) {
        scripted_handles.emplace_back(opened, path == processor_folder);
    }
    return opened;
}

HANDLE WINAPI open_by_id_scripted(HANDLE hint, LPFILE_ID_DESCRIPTOR id, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD flags) {
    if (id->FileId.QuadPart == static_cast<LONGLONG>(unopenable_folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE opened = patches[2]->original<decltype(&OpenFileById)>()(
        hint, id, access, share, security, flags);
    stream_hosts.push_back(opened);  // a file the folder's listing gave
    return opened;
}

// The streams of the print processor folder and of each file in it, as an
// NTFS volume gives them: the file's own data first, then the case's stream.
NTSTATUS NTAPI query_scripted(HANDLE file, PIO_STATUS_BLOCK status, PVOID into, ULONG size,
                              FILE_INFORMATION_CLASS kind) {
    constexpr auto stream_information = static_cast<FILE_INFORMATION_CLASS>(22);
    if (kind != stream_information || stream == nullptr ||
        std::find(stream_hosts.begin(), stream_hosts.end(), file) == stream_hosts.end()) {
        return patches[3]->original<decltype(&NtQueryInformationFile)>()(file, status, into,
                                                                          size, kind);
    }
    struct record {
        ULONG next;
        ULONG name_length;
        LARGE_INTEGER size;
        LARGE_INTEGER allocation;
        WCHAR name[32];
    };
    auto* records = static_cast<record*>(into);
    EXPECT_GE(size, 2 * sizeof(record));
    const std::wstring names[] = {L"::$DATA", std::wstring(L":") + stream + L":$DATA"};
    for (std::size_t index = 0; index < 2; ++index) {
        records[index] = {};
        records[index].next = index == 0 ? sizeof(record) : 0;
        records[index].name_length = static_cast<ULONG>(names[index].size() * sizeof(wchar_t));
        std::memcpy(records[index].name, names[index].data(), records[index].name_length);
    }
    status->Information = 2 * sizeof(record);
    return 0;
}

// The file id of `name` in the print processor folder, as a listing gives it.
std::uint64_t id_of(const wchar_t* name) {
    const HANDLE file = CreateFileW((processor_folder + name).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    EXPECT_TRUE(GetFileInformationByHandle(file, &information));
    CloseHandle(file);
    return (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

BOOL WINAPI list_scripted(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID into, DWORD size) {
    const auto scripted = std::find_if(scripted_handles.begin(), scripted_handles.end(),
                                       [&](const auto& known) { return known.first == file; });
    if (scripted == scripted_handles.end() || kind != FileIdBothDirectoryInfo) {
        return patches[1]->original<decltype(&GetFileInformationByHandleEx)>()(file, kind, into,
                                                                               size);
    }
    const bool given = scripted->second;
    scripted_handles.erase(scripted);  // a later handle may get the same value
    if (!given || listing->empty()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    scripted_handles.emplace_back(file, false);
    auto* record = static_cast<FILE_ID_BOTH_DIR_INFO*>(into);
    for (const scripted_entry& entry : *listing) {
        *record = {};
        record->FileAttributes = entry.attributes;
        record->EaSize = entry.tag;
        record->FileId.QuadPart = static_cast<LONGLONG>(
            entry.id != 0 ? entry.id : id_of(entry.id_of_file ? entry.id_of_file : entry.name));
        record->FileNameLength = static_cast<DWORD>(wcslen(entry.name) * sizeof(wchar_t));
        std::memcpy(record->FileName, entry.name, record->FileNameLength);
        // Room for each name, and aligned for the next record.
        record->NextEntryOffset = &entry == &listing->back() ? 0 : sizeof *record + 64;
        record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<char*>(record) +
                                                          record->NextEntryOffset);
    }
    return TRUE;
}

std::wstring row(const std::wstring& status, const std::wstring& file, const std::wstring& detail) {
    std::wostringstream text;
    text << status << L' ' << file << L' ' << detail;
    return text.str();
}

constexpr DWORD reparse = FILE_ATTRIBUTE_REPARSE_POINT;
const scripted_entry link{L"link.dll", reparse, IO_REPARSE_TAG_SYMLINK, 0x1ab};
const scripted_entry junction{L"junction", reparse | FILE_ATTRIBUTE_DIRECTORY,
                              IO_REPARSE_TAG_MOUNT_POINT, 0x2ab};
// Compressed: a reparse point with data of its own, Wine's unsigned stand-in.
const scripted_entry compressed{L"winprint.dll", reparse, IO_REPARSE_TAG_WOF, 0};
const scripted_entry unopenable{L"sub", FILE_ATTRIBUTE_DIRECTORY, 0, unopenable_folder};
const std::wstring processors_unread =
    L"unreadable .\\ the registered print processors cannot be read. Error code: 0x00000005.";

}  // namespace

TEST(unclaimed_files, links_are_not_followed_and_what_cannot_be_read_gives_a_row_and_exit_2) {
    processor_folder = *find_location(print_processor_directory);
    const import_patch opening("kernel32.dll", "CreateFileW", as_import(open_scripted));
    const import_patch listing_patch("kernel32.dll", "GetFileInformationByHandleEx",
                                     as_import(list_scripted));
    const import_patch by_id("kernel32.dll", "OpenFileById", as_import(open_by_id_scripted));
    const import_patch query("ntdll.dll", "NtQueryInformationFile", as_import(query_scripted));
    patches[0] = &opening;
    patches[1] = &listing_patch;
    patches[2] = &by_id;
    patches[3] = &query;
    const std::wstring unsigned_processor = L"unsigned winprint.dll a registered print processor";
    const walk_case cases[] = {
        {"a link alone alarms", {link}, false, {row(L"unsigned", L"link.dll", L"a link, not followed")}, 1},
        {"a junction alone alarms", {junction}, false,
         {row(L"unsigned", L"junction", L"a junction, not followed")}, 1},
        {"a compressed file is read, and claimed by the registry", {compressed}, false,
         {unsigned_processor}, 1},
        {"without the registry the processors are nobody's", {compressed}, true,
         {processors_unread,
          L"unsigned winprint.dll named by no installed driver; an executable image"},
         2},
        {"a folder that cannot be opened", {unopenable}, false,
         {row(L"unreadable", L"sub\\", L"cannot be listed. Error code: 0x00000005.")}, 2},
        // Opened by its path, Windows 10 to Server 2022 would open the port.
        {"a device's name opens as the file listed",
         {{L"COM3.dll", 0, 0, 0, L"winprint.dll"}}, false,
         {L"unsigned COM3.dll named by no installed driver; an executable image"}, 1},
        {"a stream holding an image, the folder's and a file's", {compressed}, false,
         {L"unsigned .:p.dll named by no installed driver; an executable image",
          unsigned_processor,
          L"unsigned winprint.dll:p.dll named by no installed driver; an executable image"},
         1, L"p.dll"},
        // The driver's own file has its row; its stream is the walk's.
        {"a stream of the driver's own file", {{L"pmproc.dll", 0, 0, 0, L"winprint.dll"}}, false,
         {L"unsigned .:p.dll named by no installed driver; an executable image",
          L"unsigned pmproc.dll:p.dll named by no installed driver; an executable image"},
         1, L"p.dll"},
        {"the package's compiled INF is its own", {{L"pelmaromn.PNF", 0, 0, 0}}, false, {}, 0,
         nullptr, true},
    };
    const std::wstring compiled_inf = processor_folder + L"pelmaromn.PNF";
    const HANDLE made = CreateFileW(compiled_inf.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    CloseHandle(made);
    for (const walk_case& tested : cases) {
        SCOPED_TRACE(tested.name);
        std::optional<import_patch> registry;
        if (tested.registry_fails) {
            registry.emplace("advapi32.dll", "RegOpenKeyExW",
                             as_import([](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS {
                                 return ERROR_ACCESS_DENIED;
                             }));
        }
        listing = &tested.listing;
        stream = tested.stream;
        stream_hosts.clear();
        scripted_handles.clear();
        pelmar::signatures::signature_checker checker({});
        std::map<install_location, std::wstring> directories;
        for (const auto location : {printer_driver_directory, print_processor_directory,
                                    program_files_directory, program_files_x86_directory,
                                    driver_package_directory}) {
            const bool package_here = tested.package_folder && location == driver_package_directory;
            if (tested.package_folder && location == print_processor_directory) {
                continue;
            }
            const std::optional<std::wstring> found =
                package_here ? processor_folder : find_location(location);
            if (found) {
                directories.emplace(location, *found);
                checker.read_package_catalog(location, *found);
            }
        }
        const auto hasher = pelmar::win::catalog_hasher::acquire().value();
        std::vector<std::wstring> rows;
        pelmar::signatures::unclaimed_tally tally;
        registered_absent = true;
        pelmar::signatures::check_unclaimed_files(
            checker, hasher, directories,
            [&](const pelmar::signatures::signature_row& found) {
                if (found.kind == pelmar::signatures::row_kind::registered) {
                    return;  // the prefix's own registrations, absent or unreadable
                }
                EXPECT_EQ(found.folder, processor_folder);
                rows.push_back(
                    row(std::wstring(pelmar::signatures::status_text(found.verdict.status)),
                        std::wstring(found.file), pelmar::signatures::detail_text(found.verdict)));
            },
            tally);
        registered_absent = false;
        EXPECT_EQ(rows, tested.rows);
        EXPECT_EQ(tally.exit_code(), tested.exit_code);
    }
    DeleteFileW(compiled_inf.c_str());
}

TEST(unclaimed_files, a_registry_key_that_cannot_be_read_gives_a_row_and_exit_2) {
    static const import_patch* opening = nullptr;
    const import_patch refusing(
        "advapi32.dll", "RegOpenKeyExW",
        as_import([](HKEY parent, LPCWSTR path, DWORD options, REGSAM access,
                     PHKEY key) -> LSTATUS {
            if (std::wstring_view(path).ends_with(L"\\Print\\Monitors")) {
                return ERROR_ACCESS_DENIED;
            }
            return opening->original<decltype(&RegOpenKeyExW)>()(parent, path, options, access,
                                                                  key);
        }));
    opening = &refusing;
    const pelmar::signatures::signature_checker checker({});
    const auto hasher = pelmar::win::catalog_hasher::acquire().value();
    std::vector<std::wstring> rows;
    pelmar::signatures::unclaimed_tally tally;
    pelmar::signatures::check_unclaimed_files(
        checker, hasher, {},
        [&](const pelmar::signatures::signature_row& found) {
            if (found.verdict.status == pelmar::signatures::signature_status::unreadable) {
                rows.push_back(row(std::wstring(pelmar::signatures::kind_text(found.kind)),
                                   std::wstring(found.file), pelmar::signatures::detail_text(found.verdict)) +
                               L' ' + std::wstring(found.folder));
            }
        },
        tally);
    EXPECT_EQ(rows, std::vector<std::wstring>{
                        L"registered Monitors\\ cannot be read. Error code: 0x00000005. "
                        L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print"});
    EXPECT_EQ(tally.exit_code(), 2);
}
