#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <winspool.h>

#include "import_patch.h"
#include "installed_drivers.h"
#include "location_cache.h"
#include "location_resolver.h"
#include "printer_connections.h"
#include "spooler_queries.h"
#include "test_helpers.h"
#include "win32_exception.h"

namespace {

using enum_failure = pelmar::winspool::enum_printer_drivers_exception;
using processor_failure = pelmar::winspool::print_processor_exception;

const std::wstring missing_driver = L"<Missing Printer Driver Directory>";
const std::wstring missing_package = L"<Missing Printer Driver Package Directory>";
const std::wstring missing_processor = L"<Missing Print Processor Directory>";
const std::wstring missing_program_files =
    L"<Missing \"Program Files\\Pelmar\\printer\" Directory>";
const std::wstring missing_program_files_x86 =
    L"<Missing \"Program Files (x86)\\Pelmar\\printer\" Directory>";
const std::wstring processor_folder = L"C:\\windows\\system32\\spool\\prtprocs\\x64";
constexpr GUID program_files_id = {
    0x905E63B6, 0xC1BF, 0x494E, {0xB2, 0x9C, 0x65, 0xB7, 0x32, 0xD3, 0xD2, 0x1A}};
constexpr GUID program_files_x86_id = {
    0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};

struct driver {
    const wchar_t* name;
    const wchar_t* path;  // pDriverPath at level 2, pszInfPath at level 8
};

// Local (null server name), environment ("<null>" when none was passed),
// level, buffer given, buffer size.
using spooler_call = std::tuple<bool, std::wstring, DWORD, bool, DWORD>;

// What the scripted platform answers, and what it was asked. Error code 0
// scripts success.
struct script {
    std::vector<driver> drivers;
    DWORD enum_first_error = ERROR_INSUFFICIENT_BUFFER;
    DWORD enum_second_error = 0;
    int enum_fills_grown = 0;  // fills that find the size grown since the last answer
    std::vector<spooler_call> enum_calls;

    std::wstring processor_path = processor_folder;
    std::wstring processor_path_later;  // non-empty: the path that the second call finds
    DWORD processor_first_error = ERROR_INSUFFICIENT_BUFFER;
    DWORD processor_second_error = 0;
    std::vector<spooler_call> processor_calls;

    HRESULT folder_result = S_OK;
    std::wstring folder_path = L"C:\\Program Files";
    std::vector<GUID> folder_ids;
    bool folder_arguments_plain = true;  // flags 0 and no token on every call
    std::wstring folder_text;            // the shell's buffer as handed out
    std::vector<void*> freed;

    int access_result = 0;
    std::vector<std::wstring> access_paths;
    bool access_mode_zero = true;
};

script s;

// Lays the records out as the spooler does: the array first, then the texts
// they point to. Returns the size; writes only when `out` is given.
template <typename info, typename text>
DWORD lay_out(BYTE* out, text info::*path_field, text info::*other_field) {
    DWORD cursor = static_cast<DWORD>(s.drivers.size() * sizeof(info));
    const auto place = [&](const wchar_t* value) -> wchar_t* {
        if (value == nullptr) return nullptr;
        const auto bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
        auto* at = out ? reinterpret_cast<wchar_t*>(out + cursor) : nullptr;
        if (out) std::memcpy(at, value, bytes);
        cursor += bytes;
        return at;
    };
    for (std::size_t index = 0; index < s.drivers.size(); ++index) {
        info record{};
        record.cVersion = 3;
        record.pName = place(s.drivers[index].name);
        record.pEnvironment = place(L"Windows x64");
        record.*path_field = place(s.drivers[index].path);
        record.*other_field = place(L"Z:\\not\\this\\field.dll");
        if (out) std::memcpy(out + index * sizeof(info), &record, sizeof(info));
    }
    return cursor;
}

DWORD lay_out(BYTE* out, DWORD level) {
    return level == 8 ? lay_out(out, &DRIVER_INFO_8W::pszInfPath, &DRIVER_INFO_8W::pDriverPath)
                      : lay_out(out, &DRIVER_INFO_2W::pDriverPath, &DRIVER_INFO_2W::pDataFile);
}

spooler_call record_call(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                         DWORD size) {
    return {server == nullptr, environment ? environment : L"<null>", level, buffer != nullptr,
            size};
}

BOOL WINAPI fake_enum_printer_drivers(LPWSTR server, LPWSTR environment, DWORD level,
                                      LPBYTE buffer, DWORD size, LPDWORD needed,
                                      LPDWORD returned) {
    s.enum_calls.push_back(record_call(server, environment, level, buffer, size));
    const bool grown = buffer != nullptr && s.enum_fills_grown > 0;
    s.enum_fills_grown -= grown ? 1 : 0;
    const DWORD error = buffer == nullptr ? s.enum_first_error
                        : grown           ? ERROR_INSUFFICIENT_BUFFER
                                          : s.enum_second_error;
    *needed = (s.drivers.empty() ? 0 : lay_out(nullptr, level)) + (grown ? 64 : 0);
    *returned = 0;
    if (error == 0 && buffer != nullptr) {
        lay_out(buffer, level);
        *returned = static_cast<DWORD>(s.drivers.size());
    }
    SetLastError(error);
    return error == 0;
}

BOOL WINAPI fake_print_processor_directory(LPWSTR server, LPWSTR environment, DWORD level,
                                           LPBYTE buffer, DWORD size, LPDWORD needed) {
    s.processor_calls.push_back(record_call(server, environment, level, buffer, size));
    const bool later = buffer != nullptr && !s.processor_path_later.empty();
    // What follows the terminating NUL is no part of the path.
    const std::wstring filled = (later ? s.processor_path_later : s.processor_path) + L'\0' +
                                L"stale";
    *needed = static_cast<DWORD>((filled.size() + 1) * sizeof(wchar_t));
    const DWORD error = buffer == nullptr ? s.processor_first_error : s.processor_second_error;
    if (error == 0 && buffer != nullptr) {
        std::memcpy(buffer, filled.c_str(), std::min(size, *needed));
    }
    SetLastError(error);
    return error == 0;
}

HRESULT WINAPI fake_known_folder_path(REFKNOWNFOLDERID id, DWORD flags, HANDLE token,
                                      PWSTR* path) {
    s.folder_ids.push_back(id);
    s.folder_arguments_plain = s.folder_arguments_plain && flags == 0 && token == nullptr;
    s.folder_text = s.folder_path;
    *path = SUCCEEDED(s.folder_result) ? s.folder_text.data() : nullptr;
    return s.folder_result;
}

void WINAPI fake_co_task_mem_free(LPVOID memory) { s.freed.push_back(memory); }

int __cdecl fake_waccess(const wchar_t* path, int mode) {
    s.access_paths.push_back(path);
    s.access_mode_zero = s.access_mode_zero && mode == 0;
    return s.access_result;
}

class locations_test : public testing::Test {
protected:
    locations_test() { s = script(); }

    import_patch enum_{"winspool.drv", "EnumPrinterDriversW",
                       as_import(fake_enum_printer_drivers)};
    import_patch processor_{"winspool.drv", "GetPrintProcessorDirectoryW",
                            as_import(fake_print_processor_directory)};
    import_patch folder_{"shell32.dll", "SHGetKnownFolderPath",
                         as_import(fake_known_folder_path)};
    import_patch free_{"ole32.dll", "CoTaskMemFree", as_import(fake_co_task_mem_free)};
    import_patch access_{"msvcrt.dll", "_waccess", as_import(fake_waccess)};
};

TEST_F(locations_test, driver_enumeration_asks_for_the_size_then_fills_exactly_that_much) {
    s.drivers = {{L"Other Driver", L"C:\\a\\b.inf"}, {L"Pelmar Omni Printer", L"C:\\c\\d.inf"}};
    std::uint32_t needed = 0;
    std::uint32_t returned = 0;
    const auto buffer = pelmar::winspool::enum_printer_drivers(L"all", 8, needed, returned);

    ASSERT_TRUE(buffer != nullptr);
    EXPECT_EQ(needed, lay_out(nullptr, 8));
    EXPECT_EQ(returned, 2u);
    EXPECT_STREQ(reinterpret_cast<const DRIVER_INFO_8W*>(buffer.get())[1].pszInfPath,
                 L"C:\\c\\d.inf");
    EXPECT_EQ(s.enum_calls, (std::vector<spooler_call>{{true, L"all", 8, false, 0},
                                                       {true, L"all", 8, true, needed}}));
}

TEST_F(locations_test, spooler_completing_without_a_buffer_leaves_both_driver_locations_missing) {
    s.enum_first_error = 0;
    std::uint32_t needed = 7;
    std::uint32_t returned = 7;
    EXPECT_TRUE(pelmar::winspool::enum_printer_drivers(L"all", 2, needed, returned) == nullptr);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(resolve_location(1), missing_driver);
    EXPECT_EQ(resolve_location(16), missing_package);
    EXPECT_EQ(s.enum_calls, (std::vector<spooler_call>{{true, L"all", 2, false, 0},
                                                       {true, L"all", 2, false, 0},
                                                       {true, L"all", 8, false, 0}}));
    EXPECT_TRUE(s.access_paths.empty());
}

TEST_F(locations_test, driver_enumeration_failures_carry_the_failing_calls_code) {
    s.enum_first_error = RPC_S_SERVER_UNAVAILABLE;
    EXPECT_EQ(code_thrown<enum_failure>([] { resolve_location(1); }), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(s.enum_calls.size(), 1u);

    // A driver added between the two calls: thrown like any failure, no third try.
    s = script();
    s.drivers = {{L"Pelmar Omni Printer", L"C:\\x\\y.inf"}};
    s.enum_second_error = ERROR_INSUFFICIENT_BUFFER;
    EXPECT_EQ(code_thrown<enum_failure>([] { resolve_location(16); }), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(s.enum_calls.size(), 2u);
}

// The walk's listing of every driver: on a busy print server the size may
// grow between calls, a few times, before it gives up.
TEST_F(locations_test, the_walks_driver_listing_is_fetched_again_while_its_size_grows) {
    s.enum_fills_grown = 3;
    EXPECT_TRUE(installed_drivers().empty());
    EXPECT_EQ(s.enum_calls.size(), 5u);

    s = script();
    s.enum_fills_grown = 4;
    EXPECT_EQ(code_thrown<enum_failure>([] { (void)installed_drivers(); }),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(s.enum_calls.size(), 5u);
}

TEST_F(locations_test, only_the_exact_driver_name_matches_and_the_first_match_wins) {
    const std::vector<driver> decoys = {{nullptr, L"C:\\null\\name.dll"},
                                        {L"pelmar omni printer", L"C:\\case\\a.dll"},
                                        {L"Pelmar Omni Printer ", L"C:\\space\\a.dll"},
                                        {L"Pelmar Omni Printer (x86)", L"C:\\suffix\\a.dll"},
                                        {L"Pelmar Omni", L"C:\\prefix\\a.dll"}};
    for (const int location : {1, 16}) {
        SCOPED_TRACE(location);
        const std::wstring missing = location == 1 ? missing_driver : missing_package;
        s = script();
        s.drivers = decoys;
        EXPECT_EQ(resolve_location(location), missing);
        EXPECT_TRUE(s.access_paths.empty());

        s.drivers.push_back({L"Pelmar Omni Printer", L"C:\\first\\match.dll"});
        s.drivers.push_back({L"Pelmar Omni Printer", L"C:\\second\\match.dll"});
        EXPECT_EQ(resolve_location(location), L"C:\\first\\");
        EXPECT_EQ(s.access_paths, std::vector<std::wstring>{L"C:\\first\\"});

        // A first match without a path decides the location all the same: Missing.
        s.drivers.insert(s.drivers.begin() + 1, {L"Pelmar Omni Printer", nullptr});
        EXPECT_EQ(resolve_location(location), missing);
        EXPECT_EQ(s.access_paths.size(), 1u);
    }
}

TEST_F(locations_test, driver_path_is_cut_to_its_folder_and_tested_as_it_will_be_used) {
    const struct {
        const wchar_t* path;
        const wchar_t* tested;  // null: Missing without any test
    } cases[] = {
        {L"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\pmomndrv.dll",
         L"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\"},
        {L"pmomndrv.dll", L"pmomndrv.dll\\"},
        {L"C:\\folder\\", L"C:\\folder\\"},
        {L"\\pmomndrv.dll", nullptr},
        {L"", nullptr},
    };
    for (const auto& item : cases) {
        for (const int location : {1, 16}) {
            SCOPED_TRACE(testing::Message() << location << " " << item.path);
            s = script();
            s.drivers = {{L"Pelmar Omni Printer", item.path}};
            const std::wstring missing = location == 1 ? missing_driver : missing_package;
            EXPECT_EQ(resolve_location(location), item.tested ? item.tested : missing);
            ASSERT_EQ(s.access_paths.size(), item.tested ? 1u : 0u);
            if (item.tested) {
                EXPECT_EQ(s.access_paths[0], item.tested);
                EXPECT_TRUE(s.access_mode_zero);
                s.access_result = -1;
                EXPECT_EQ(resolve_location(location), missing);
            }
        }
    }
}

TEST_F(locations_test, print_processor_folder_ends_in_exactly_one_backslash) {
    std::uint32_t needed = 0;
    EXPECT_EQ(pelmar::winspool::print_processor_directory_path(needed), processor_folder);
    EXPECT_EQ(s.processor_calls, (std::vector<spooler_call>{{true, L"<null>", 1, false, 0},
                                                            {true, L"<null>", 1, true, needed}}));

    EXPECT_EQ(resolve_location(2), processor_folder + L"\\");
    s.processor_path = L"D:\\spool\\prtprocs\\x64\\";
    EXPECT_EQ(resolve_location(2), L"D:\\spool\\prtprocs\\x64\\");
    EXPECT_EQ(s.access_paths.back(), L"D:\\spool\\prtprocs\\x64\\");
    s.access_result = -1;
    EXPECT_EQ(resolve_location(2), missing_processor);
}

TEST_F(locations_test, print_processor_query_failures_and_an_empty_answer) {
    s.processor_first_error = ERROR_ACCESS_DENIED;
    EXPECT_EQ(code_thrown<processor_failure>([] { resolve_location(2); }), ERROR_ACCESS_DENIED);
    EXPECT_EQ(s.processor_calls.size(), 1u);

    s = script();
    s.processor_second_error = ERROR_INVALID_ENVIRONMENT;
    EXPECT_EQ(code_thrown<processor_failure>([] { resolve_location(2); }),
              ERROR_INVALID_ENVIRONMENT);
    EXPECT_EQ(s.processor_calls.size(), 2u);

    s = script();
    s.processor_first_error = 0;
    EXPECT_EQ(resolve_location(2), missing_processor);
    EXPECT_EQ(s.processor_calls.size(), 1u);
    EXPECT_TRUE(s.access_paths.empty());
}

TEST_F(locations_test, print_processor_text_ends_with_the_buffer_that_was_allocated) {
    // A spooler that fills the whole buffer with a path grown since the
    // first call, with no NUL, and reports success and the larger need.
    s.processor_path_later = processor_folder + L"\\grown\\since\\the\\first\\call";
    std::uint32_t needed = 0;
    const std::wstring path = pelmar::winspool::print_processor_directory_path(needed);
    ASSERT_EQ(s.processor_calls.size(), 2u);
    const DWORD allocated = std::get<4>(s.processor_calls[1]);
    EXPECT_GT(needed, allocated);
    EXPECT_EQ(path, s.processor_path_later.substr(0, allocated / sizeof(wchar_t)));
}

TEST_F(locations_test, program_files_folders_come_from_the_shell_and_are_freed_once) {
    EXPECT_EQ(resolve_location(4), L"C:\\Program Files\\Pelmar\\printer");
    EXPECT_EQ(s.freed, std::vector<void*>{s.folder_text.data()});
    s.folder_path = L"D:\\";
    EXPECT_EQ(resolve_location(8), L"D:\\Pelmar\\printer");
    EXPECT_EQ(s.access_paths, (std::vector<std::wstring>{L"C:\\Program Files\\Pelmar\\printer",
                                                         L"D:\\Pelmar\\printer"}));
    EXPECT_TRUE(s.access_mode_zero);
    EXPECT_EQ(s.folder_ids, (std::vector<GUID>{program_files_id, program_files_x86_id}));
    EXPECT_TRUE(s.folder_arguments_plain);
    EXPECT_EQ(s.freed.size(), 2u);

    s.access_result = -1;
    EXPECT_EQ(resolve_location(4), missing_program_files);
    EXPECT_EQ(resolve_location(8), missing_program_files_x86);
}

TEST_F(locations_test, failing_shell_query_gives_the_missing_text_without_an_exception) {
    s.folder_result = E_INVALIDARG;
    EXPECT_EQ(resolve_location(4), missing_program_files);
    EXPECT_EQ(resolve_location(8), missing_program_files_x86);
    EXPECT_EQ(s.folder_ids.size(), 2u);
    EXPECT_TRUE(s.access_paths.empty());
    // Releasing the null that a failing shell hands out is harmless; nothing else may be.
    EXPECT_THAT(s.freed, testing::Each(testing::IsNull()));
}

TEST_F(locations_test, unrecognised_values_give_the_empty_text_without_a_query) {
    location_cache cache;
    for (const int value : {0, 3, 32, -1, 6, 64}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(resolve_location(value), L"");
        EXPECT_EQ(cache.directory(value), L"");
        EXPECT_EQ(cache.directory(value), L"");
    }
    EXPECT_TRUE(s.enum_calls.empty() && s.processor_calls.empty() && s.folder_ids.empty() &&
                s.access_paths.empty());
}

TEST_F(locations_test, cache_resolves_each_location_once_missing_texts_included) {
    s.drivers = {{L"Pelmar Omni Printer", L"C:\\drv\\pmomndrv.dll"}};
    s.folder_result = E_FAIL;
    location_cache cache;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(cache.directory(1), L"C:\\drv\\");
        EXPECT_EQ(cache.directory(2), processor_folder + L"\\");
        EXPECT_EQ(cache.directory(4), missing_program_files);
        EXPECT_EQ(cache.directory(8), missing_program_files_x86);
        EXPECT_EQ(cache.directory(16), L"C:\\drv\\");
        s.folder_result = S_OK;  // found later in the run: stays missing
    }
    EXPECT_EQ(s.enum_calls.size(), 4u);       // size and fill, once per level
    EXPECT_EQ(s.processor_calls.size(), 2u);  // size and text
    EXPECT_EQ(s.folder_ids.size(), 2u);
    EXPECT_EQ(s.access_paths.size(), 3u);
}

TEST_F(locations_test, cache_makes_no_entry_for_a_resolution_that_threw) {
    location_cache cache;
    s.enum_first_error = ERROR_ACCESS_DENIED;
    EXPECT_EQ(code_thrown<enum_failure>([&] { cache.directory(1); }), ERROR_ACCESS_DENIED);
    s.processor_second_error = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_EQ(code_thrown<processor_failure>([&] { cache.directory(2); }),
              ERROR_NOT_ENOUGH_MEMORY);

    s.enum_first_error = ERROR_INSUFFICIENT_BUFFER;
    s.processor_second_error = 0;
    s.drivers = {{L"Pelmar Omni Printer", L"C:\\drv\\pmomndrv.dll"}};
    EXPECT_EQ(cache.directory(1), L"C:\\drv\\");
    EXPECT_EQ(cache.directory(2), processor_folder + L"\\");
    EXPECT_EQ(s.enum_calls.size(), 3u);
    EXPECT_EQ(s.processor_calls.size(), 4u);
}

TEST_F(locations_test, run_wide_cache_answers_repeated_requests_from_memory) {
    s.processor_path = L"E:\\prtprocs";
    EXPECT_EQ(location_directory(2), L"E:\\prtprocs\\");
    s.processor_path = L"F:\\elsewhere";
    EXPECT_EQ(location_directory(2), L"E:\\prtprocs\\");
    EXPECT_EQ(s.processor_calls.size(), 2u);
}

}  // namespace

// Wine's spooler makes no connection to a shared queue: the keys that one
// leaves, the user's and the cached queue's, written as Windows writes them.
TEST(printer_connections, each_users_connection_names_its_cached_queues_driver) {
    const std::wstring cache =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\"
        L"Client Side Rendering Print Provider\\Servers\\printsrv";
    const auto write = [](HKEY root, const std::wstring& path, const wchar_t* name,
                          const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    };
    const std::wstring guid = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
    write(HKEY_CURRENT_USER, L"Printers\\Connections\\,,printsrv,Floor 2", L"GuidPrinter", guid);
    write(HKEY_LOCAL_MACHINE, cache + L"\\Printers\\" + guid + L"\\DsSpooler", L"driverName",
          L"HP Universal Printing PCL 6");
    std::vector<std::wstring> names;
    EXPECT_FALSE(connection_driver_names(names).has_value());
    EXPECT_EQ(names, std::vector<std::wstring>{L"HP Universal Printing PCL 6"});

    // A connection whose queue is not cached leaves its driver unknown.
    write(HKEY_CURRENT_USER, L"Printers\\Connections\\,,printsrv,Floor 3", L"GuidPrinter",
          L"{00000000-0000-0000-0000-000000000001}");
    names.clear();
    const pelmar::win::status uncached = connection_driver_names(names);
    ASSERT_TRUE(uncached.has_value());
    EXPECT_EQ(uncached->code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(names, std::vector<std::wstring>{L"HP Universal Printing PCL 6"});
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Printers\\Connections");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, cache.c_str());
}
