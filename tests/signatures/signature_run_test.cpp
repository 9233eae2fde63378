#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include "program_run.h"
#include "scripted_trust.h"
#include "signature_run.h"

using pelmar::signatures::run_signatures;

namespace {

const std::wstring header =
    L"STATUS      \tSIGNER" + std::wstring(24, L' ') + L"\tFILENAME" + std::wstring(22, L' ') +
    L"\tDETAIL" + std::wstring(34, L' ') + L"\tDIRECTORY\n";

class signature_run_test : public scripted_trust_test {
protected:
    run_result run(const std::vector<const wchar_t*>& arguments = {}) {
        return run_program(run_signatures, arguments);
    }
};

}  // namespace

// A busy print server: each listing of the drivers finds `grown_fills` times
// more installed than the size it gave for them, and then none.
int grown_fills = 0;
BOOL WINAPI growing_listing(LPWSTR, LPWSTR, DWORD, LPBYTE buffer, DWORD size, LPDWORD needed,
                            LPDWORD returned) {
    *returned = 0;
    const bool grown = buffer == nullptr || grown_fills-- > 0;
    *needed = grown ? size + 64 : size;
    SetLastError(grown ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return grown ? FALSE : TRUE;
}

TEST_F(signature_run_test, drivers_installed_between_the_calls_are_listed_again_a_few_times) {
    const import_patch enumeration("winspool.drv", "EnumPrinterDriversW",
                                   as_import(growing_listing));
    grown_fills = 3;
    run_result result = run();
    EXPECT_EQ(result.error, L"");
    EXPECT_NE(result.exit_code, 2);

    grown_fills = 1000;
    result = run();
    EXPECT_EQ(result.error,
              L"An unexpected Windows exception occurred. Error code: 0x0000007a.\n");
    EXPECT_EQ(result.exit_code, 2);
}

// The exit codes of finished checks, 0, 1 (also with no file found) and 2
// for a file that could not be read, are the end-to-end test's.
TEST_F(signature_run_test, check_that_cannot_run_says_why_and_exits_with_2) {
    {
        const import_patch enumeration(
            "winspool.drv", "EnumPrinterDriversW",
            as_import(stand_in<decltype(EnumPrinterDriversW), RPC_S_SERVER_UNAVAILABLE>::fail));
        const run_result result = run();
        EXPECT_EQ(result.out, header);
        EXPECT_EQ(result.error, L"An unexpected Windows exception occurred. Error code: 0x000006ba.\n");
        EXPECT_EQ(result.exit_code, 2);
    }
    {
        const import_patch acquire(
            "wintrust.dll", "CryptCATAdminAcquireContext",
            as_import(stand_in<decltype(CryptCATAdminAcquireContext), DWORD(NTE_BAD_ALGID)>::fail));
        const run_result result = run();
        EXPECT_EQ(result.out, L"");
        EXPECT_EQ(result.error, L"Cryptographic operation failed. Error code: 0x80090008.\n");
        EXPECT_EQ(result.exit_code, 2);
    }
    {
        // Thrown while a file is checked, on whichever thread took it: the
        // one failure line still says so, and no summary claims a result.
        // The package catalogs, read before, are absent.
        const import_patch open(
            "kernel32.dll", "CreateFileW",
            as_import([](LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                         HANDLE) -> HANDLE {
                if (std::wstring_view(path).ends_with(L".cat")) {
                    SetLastError(ERROR_FILE_NOT_FOUND);
                    return INVALID_HANDLE_VALUE;
                }
                throw std::bad_alloc();
            }));
        const run_result result = run();
        EXPECT_EQ(result.out, header);
        EXPECT_EQ(result.error, L"An unexpected C++ standard library exception occurred.\n");
        EXPECT_EQ(result.exit_code, 2);
    }
    const temp_file file;
    const HANDLE read_only = file.open_read_only();
    {
        const auto buffer = buffer_on(read_only);
        std::wostream out(buffer.get());
        std::wostringstream error;
        EXPECT_EQ(run_signatures({}, out, error), 2);
        EXPECT_EQ(error.str(),
                  L"Failed to write the report to standard output. Error code: 0x00000005.\n");
    }
    CloseHandle(read_only);
}

TEST_F(signature_run_test, help_goes_to_standard_output_and_a_wrong_option_to_standard_error) {
    const std::wstring usage =
        L"usage: pelmar_omni_signatures [--csv | --json] [--signer NAME]... [--thumbprint HEX]...\n";
    for (const wchar_t* help : {L"--help", L"/?"}) {
        SCOPED_TRACE(testing::Message() << help);
        const run_result result = run({help});
        EXPECT_EQ(result.out.substr(0, usage.size()), usage);
        EXPECT_EQ(result.error, L"");
        EXPECT_EQ(result.exit_code, 0);
    }
    const wchar_t* thumbprint_problem = L"--thumbprint needs 40 or 64 hex digits\n";
    struct wrong {
        std::vector<const wchar_t*> arguments;
        const wchar_t* problem;
    };
    for (const wrong& wrong : {wrong{{L"--verbose"}, L"unknown option: --verbose\n"},
                               wrong{{L"C:\\Drivers"}, L"unknown option: C:\\Drivers\n"},
                               wrong{{L"--signer"}, L"--signer needs a name\n"},
                               wrong{{L"--thumbprint", L"12 34"}, thumbprint_problem},
                               wrong{{L"--thumbprint"}, thumbprint_problem}}) {
        SCOPED_TRACE(testing::Message() << wrong.arguments.back());
        const run_result result = run(wrong.arguments);
        EXPECT_EQ(result.out, L"");
        EXPECT_EQ(result.error, wrong.problem + usage);
        EXPECT_EQ(result.exit_code, 2);
    }
    EXPECT_EQ(trust.verifications, 0);
}

// A thumbprint copied from the Certificates console begins with an invisible
// left-to-right mark: the run is the one without it. The thumbprint is the
// SHA-1 of the certificate every scripted signature has, so that a digit read
// wrong changes the rows.
TEST_F(signature_run_test, thumbprint_pasted_with_its_left_to_right_mark_reads_as_without) {
    trust.file_code = ERROR_SUCCESS;
    trust.file_signer = L"Pelmar Test Signer";
    const std::wstring thumbprint = L"8393aab54d8d012e99c11fb4628316d54c921da1";
    const run_result typed = run({L"--thumbprint", thumbprint.c_str()});
    const std::wstring pasted = L"\x200E" + thumbprint;
    const run_result copied = run({L"--thumbprint", pasted.c_str()});
    EXPECT_EQ(copied.out, typed.out);
    EXPECT_EQ(copied.error, typed.error);
    EXPECT_EQ(copied.exit_code, typed.exit_code);
}
