#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>
#include <winspool.h>

#include "entry_point.h"
#include "file_manifest.h"
#include "import_patch.h"
#include "location_cache.h"
#include "print_error.h"
#include "test_helpers.h"

namespace {

// This program carries no version resource, so its banner has no version.
const std::wstring banner = L"Pelmar Omni Print Driver Information Utility\n"
                            L"Copyright (c) Pelmar. All rights reserved.\n\n";
const std::wstring header = L"HASH" + std::wstring(36, L' ') + L"\t      SIZE\tVERSION" +
                            std::wstring(18, L' ') + L"\tFILENAME" + std::wstring(22, L' ') +
                            L"\tDIRECTORY\n";

// The rows of entries [first, last) when no file is found anywhere, which is
// the case in the test prefix. Directories come from the run's cache, so call
// this after the run has resolved them.
std::wstring placeholder_rows(const manifest_entry* first, const manifest_entry* last) {
    std::wstring rows;
    for (; first != last; ++first) {
        for (std::uint32_t bit = 1; bit <= 16; bit <<= 1) {
            if ((first->locations & bit) != 0) {
                std::wstring name = first->file_name;
                name.resize(std::max<std::size_t>(name.size(), 30), L' ');
                rows += L"--" + std::wstring(38, L' ') + L"\t        --\t--" +
                        std::wstring(23, L' ') + L"\t" + name + L"\t" +
                        location_directory(static_cast<std::int32_t>(bit)) + L"\n";
            }
        }
    }
    return rows;
}

std::size_t line_count(const std::wstring& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n'));
}

// Points std::wcout (at `output`, or at a string) and std::wcerr at other
// buffers, and afterwards puts back their buffers and their formatting, which
// the table's columns leave aligned to the left.
class captured_streams {
public:
    explicit captured_streams(std::wstreambuf* output = nullptr) {
        output_format_.copyfmt(std::wcout);
        error_format_.copyfmt(std::wcerr);
        output_buffer_ = std::wcout.rdbuf(output != nullptr ? output : output_.rdbuf());
        error_buffer_ = std::wcerr.rdbuf(error_.rdbuf());
    }
    ~captured_streams() {
        std::wcout.rdbuf(output_buffer_);
        std::wcout.copyfmt(output_format_);
        std::wcerr.rdbuf(error_buffer_);
        std::wcerr.copyfmt(error_format_);
    }

    std::wstring output() const { return output_.str(); }
    std::wstring error() const { return error_.str(); }

private:
    std::wostringstream output_;
    std::wostringstream error_;
    std::wios output_format_{nullptr};
    std::wios error_format_{nullptr};
    std::wstreambuf* output_buffer_ = nullptr;
    std::wstreambuf* error_buffer_ = nullptr;
};

struct com_script {
    HRESULT result = S_OK;  // a failure is returned without initialising COM
    int initialize_calls = 0;
    int uninitialize_calls = 0;
    decltype(&CoInitializeEx) initialize = nullptr;
    decltype(&CoUninitialize) uninitialize = nullptr;
};
com_script com;

HRESULT WINAPI scripted_co_initialize(LPVOID reserved, DWORD model) {
    ++com.initialize_calls;
    if (FAILED(com.result)) {
        return com.result;
    }
    com.initialize(reserved, model);
    return com.result;
}

void WINAPI counted_co_uninitialize() {
    ++com.uninitialize_calls;
    com.uninitialize();
}

// Every run counts its COM calls, and starts, as a process does, with an
// empty location cache: a location resolved by an earlier test would
// otherwise never be asked again.
class run_inventory_test : public testing::Test {
protected:
    run_inventory_test() {
        run_location_cache() = location_cache();
        com = {};
        com.initialize = initialize_.original<decltype(&CoInitializeEx)>();
        com.uninitialize = uninitialize_.original<decltype(&CoUninitialize)>();
    }

    import_patch initialize_{"ole32.dll", "CoInitializeEx", as_import(scripted_co_initialize)};
    import_patch uninitialize_{"ole32.dll", "CoUninitialize", as_import(counted_co_uninitialize)};
};

}  // namespace

TEST(print_error, writes_the_code_as_eight_lower_case_hex_digits) {
    std::wostringstream out;
    print_error(L"Failed.", win32_exception(5), out) << L'|';
    print_error(L"Failed.", pelmar::crypto::crypto_exception(26), out);
    EXPECT_EQ(out.str(), L"Failed. Error code: 0x00000005.\n|Failed. Error code: 0x0000001a.\n");
}

TEST_F(run_inventory_test, failed_driver_enumeration_is_an_unexpected_windows_exception) {
    const import_patch enumeration(
        "winspool.drv", "EnumPrinterDriversW",
        as_import(stand_in<decltype(EnumPrinterDriversW), RPC_S_SERVER_UNAVAILABLE>::fail));
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(streams.output(), header);
    EXPECT_EQ(streams.error(),
              banner + L"An unexpected Windows exception occurred. Error code: 0x000006ba.\n");
    EXPECT_EQ(com.uninitialize_calls, 1);
}

TEST_F(run_inventory_test, failed_print_processor_query_keeps_the_rows_before_it) {
    const import_patch processor_directory(
        "winspool.drv", "GetPrintProcessorDirectoryW",
        as_import(
            stand_in<decltype(GetPrintProcessorDirectoryW), ERROR_INVALID_ENVIRONMENT>::fail));
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(line_count(streams.output()), 1u + 70u);
    EXPECT_EQ(streams.output(), header + placeholder_rows(&file_manifest[0], &file_manifest[18]));
    EXPECT_EQ(streams.error(),
              banner + L"Failed to get print processor directory. Error code: 0x0000070d.\n");
}

TEST_F(run_inventory_test, exhausted_memory_inside_the_report_is_a_library_failure) {
    const import_patch open_file("kernel32.dll", "CreateFileW",
                                 as_import(stand_in<decltype(CreateFileW)>::throw_bad_alloc));
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(streams.output(), header);
    EXPECT_EQ(streams.error(),
              banner + L"An unexpected C++ standard library exception occurred.\n");
    EXPECT_EQ(com.uninitialize_calls, 1);
}

TEST_F(run_inventory_test, exhausted_memory_in_the_banner_is_a_library_failure) {
    const import_patch module_name(
        "kernel32.dll", "GetModuleFileNameW",
        as_import(stand_in<decltype(GetModuleFileNameW)>::throw_bad_alloc));
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(streams.output(), L"");
    EXPECT_EQ(streams.error(), L"Pelmar Omni Print Driver Information Utility"
                               L"An unexpected C++ standard library exception occurred.\n");
    EXPECT_EQ(com.initialize_calls, 0);
}

TEST_F(run_inventory_test, refused_com_follows_the_complete_banner) {
    com.result = RPC_E_CHANGED_MODE;
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(streams.output(), L"");
    EXPECT_EQ(streams.error(), banner + L"Failed to initialize COM. Error code: 0x80010106.\n");
    EXPECT_EQ(com.initialize_calls, 1);
    EXPECT_EQ(com.uninitialize_calls, 0);
}

TEST_F(run_inventory_test, refused_provider_leaves_standard_output_empty) {
    const import_patch acquire(
        "advapi32.dll", "CryptAcquireContextW",
        as_import(stand_in<decltype(CryptAcquireContextW), DWORD(NTE_KEYSET_NOT_DEF)>::fail));
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 1);
    EXPECT_EQ(streams.output(), L"");
    EXPECT_EQ(streams.error(), banner + L"Cryptographic operation failed. Error code: 0x80090019.\n");
    EXPECT_EQ(com.uninitialize_calls, 1);
}

TEST_F(run_inventory_test, writes_all_78_rows_in_manifest_and_location_order) {
    com.result = S_FALSE;
    const captured_streams streams;
    EXPECT_EQ(run_inventory(), 0);
    EXPECT_EQ(line_count(streams.output()), 1u + 78u);
    EXPECT_EQ(streams.output(),
              header + placeholder_rows(file_manifest.data(),
                                        file_manifest.data() + file_manifest.size()));
    EXPECT_EQ(streams.error(), banner);
    EXPECT_EQ(com.initialize_calls, 1);
    EXPECT_EQ(com.uninitialize_calls, 1);
}

TEST_F(run_inventory_test, table_that_cannot_be_written_fails_the_run) {
    const temp_file file;
    const HANDLE read_only = file.open_read_only();
    {
        const auto buffer = buffer_on(read_only);
        const captured_streams streams(buffer.get());
        EXPECT_EQ(run_inventory(), 1);
        EXPECT_EQ(streams.error(),
                  banner +
                      L"Failed to write the report to standard output. Error code: 0x00000005.\n");
    }
    CloseHandle(read_only);
}
