#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <winspool.h>

#include "location_cache.h"
#include "scripted_trust.h"
#include "signature_run.h"
#include "temp_folder.h"

namespace {

const std::wstring header =
    L"STATUS      \tSIGNER" + std::wstring(24, L' ') + L"\tFILENAME" + std::wstring(22, L' ') +
    L"\tDETAIL" + std::wstring(34, L' ') + L"\tDIRECTORY\n";

// Program Files is a folder of the test's own, so that the run finds the
// files the test lays out in its Pelmar\printer; Program Files (x86) is
// not found at all.
std::wstring program_files;

HRESULT WINAPI scripted_known_folder(REFKNOWNFOLDERID folder, DWORD, HANDLE, PWSTR* path) {
    if (folder != FOLDERID_ProgramFiles) {
        *path = nullptr;
        return E_FAIL;
    }
    const std::size_t size = (program_files.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(CoTaskMemAlloc(size));
    CopyMemory(*path, program_files.c_str(), size);
    return S_OK;
}

struct run_result {
    int exit_code;
    std::wstring out;
    std::wstring error;
};

class signature_run_test : public scripted_trust_test {
protected:
    signature_run_test() {
        run_location_cache() = location_cache();
        program_files = root_.path();
    }

    std::wstring lay_out(const std::wstring& name) {
        return root_.write(L"Pelmar\\printer\\" + name, "MZ " + std::string(name.begin(), name.end()));
    }
    std::wstring folder() const { return root_.path(L"Pelmar\\printer"); }

    run_result run(std::vector<const wchar_t*> arguments = {}) {
        std::wostringstream out;
        std::wostringstream error;
        const int exit_code = run_signatures(arguments, out, error);
        return {exit_code, out.str(), error.str()};
    }

    temp_folder root_{L"signature_run"};
    import_patch known_folder_{"shell32.dll", "SHGetKnownFolderPath",
                               as_import(scripted_known_folder)};
};

std::wstring row(const std::wstring& status, const std::wstring& signer,
                 const std::wstring& name, const std::wstring& detail,
                 const std::wstring& directory) {
    auto padded = [](std::wstring text, std::size_t width) {
        text.resize(std::max(text.size(), width), L' ');
        return text;
    };
    return padded(status, 12) + L'\t' + padded(signer, 30) + L'\t' + padded(name, 30) + L'\t' +
           padded(detail, 40) + L'\t' + directory + L'\n';
}

}  // namespace

TEST_F(signature_run_test, one_row_per_file_found_in_manifest_order_then_the_summary) {
    lay_out(L"pmomnui.dll");
    lay_out(L"pmomndrv.dll");
    trust.file_code = ERROR_SUCCESS;
    trust.file_signer = L"Pelmar Test Signer";
    const run_result result = run();
    EXPECT_EQ(result.out, header +
                              row(L"signed", L"Pelmar Test Signer", L"pmomndrv.dll", L"--", folder()) +
                              row(L"signed", L"Pelmar Test Signer", L"pmomnui.dll", L"--", folder()) +
                              L"2 files: 2 signed\n");
    EXPECT_EQ(result.error, L"");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(signature_run_test, exit_code_says_whether_every_file_found_is_vouched_for) {
    struct scenario {
        const char* what;
        std::vector<std::wstring> files;
        std::vector<const wchar_t*> arguments;
        const wchar_t* summary;
        int exit_code;
    };
    // pmproc.dll is held without read sharing; omnprn.dll carries no signature.
    const scenario scenarios[] = {
        {"nothing found", {}, {}, L"0 files: no file of the driver was found\n", 1},
        {"all signed", {L"pmomndrv.dll"}, {}, L"1 file: 1 signed\n", 0},
        {"expected signer", {L"pmomndrv.dll"}, {L"--signer", L"Other", L"--signer", L"Pelmar Test Signer"},
         L"1 file: 1 signed\n", 0},
        {"other signer", {L"pmomndrv.dll"}, {L"--signer", L"Pelmar Test"},
         L"1 file: 1 other signer\n", 1},
        {"one unsigned", {L"pmomndrv.dll", L"omnprn.dll"}, {}, L"2 files: 1 signed, 1 unsigned\n", 1},
        {"unreadable wins", {L"pmomndrv.dll", L"omnprn.dll", L"pmproc.dll"}, {},
         L"3 files: 1 signed, 1 unsigned, 1 unreadable\n", 2},
        {"unreadable alone", {L"pmproc.dll"}, {}, L"1 file: 1 unreadable\n", 2},
    };
    trust.file_code = ERROR_SUCCESS;
    trust.file_signer = L"Pelmar Test Signer";
    trust.unsigned_files = {L"omnprn.dll"};
    for (const scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.what);
        const temp_folder fresh(L"signature_scenario");
        program_files = fresh.path();
        run_location_cache() = location_cache();
        HANDLE held = INVALID_HANDLE_VALUE;
        for (const std::wstring& name : scenario.files) {
            const std::wstring path = fresh.write(L"Pelmar\\printer\\" + name, "MZ");
            if (name == L"pmproc.dll") {
                held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
            }
        }
        const run_result result = run(scenario.arguments);
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
        }
        EXPECT_EQ(result.out.substr(result.out.rfind(L'\n', result.out.size() - 2) + 1),
                  scenario.summary);
        EXPECT_EQ(result.error, L"");
        EXPECT_EQ(result.exit_code, scenario.exit_code);
    }
}

TEST_F(signature_run_test, check_that_cannot_run_says_why_and_exits_with_2) {
    lay_out(L"pmomndrv.dll");
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
    const std::wstring usage = L"usage: pelmar_omni_signatures [--signer NAME]...\n";
    for (const wchar_t* help : {L"--help", L"/?"}) {
        const run_result result = run({help});
        EXPECT_EQ(result.out.substr(0, usage.size()), usage);
        for (const wchar_t* status : {L"  signed ", L"  catalog ", L"  unsigned ", L"  altered ",
                                      L"  invalid ", L"  unreadable ", L"  other signer ",
                                      L"  0  ", L"  1  ", L"  2  "}) {
            EXPECT_NE(result.out.find(status), std::wstring::npos) << status;
        }
        EXPECT_EQ(result.error, L"");
        EXPECT_EQ(result.exit_code, 0);
    }
    struct wrong {
        std::vector<const wchar_t*> arguments;
        const wchar_t* problem;
    };
    for (const wrong& wrong : {wrong{{L"--verbose"}, L"unknown option: --verbose\n"},
                               wrong{{L"C:\\Drivers"}, L"unknown option: C:\\Drivers\n"},
                               wrong{{L"--signer"}, L"--signer needs a name\n"}}) {
        const run_result result = run(wrong.arguments);
        EXPECT_EQ(result.out, L"");
        EXPECT_EQ(result.error, wrong.problem + usage);
        EXPECT_EQ(result.exit_code, 2);
    }
    EXPECT_EQ(trust.verifications, 0);
}
