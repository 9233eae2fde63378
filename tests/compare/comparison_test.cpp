#include <cstring>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "import_patch.h"
#include "saved_inventory.h"
#include "test_helpers.h"

namespace {

// How GetFileInformationByHandle(Ex) answer while patched: 1, an index of 0;
// 2, all ones; 3, a 128-bit id of 0.
int identity_answer = 0;

BOOL WINAPI patched_information_ex(HANDLE, FILE_INFO_BY_HANDLE_CLASS type, void* into, DWORD size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return identity_answer == 3 && type == 18 && (std::memset(into, 0, size), true);
}

BOOL WINAPI patched_information(HANDLE, BY_HANDLE_FILE_INFORMATION* into) {
    *into = {};
    into->nFileIndexHigh = into->nFileIndexLow = identity_answer == 2 ? ~DWORD{0} : 0;
    return TRUE;
}

TEST(comparison, exits_with_0_when_identical_1_when_different_and_2_without_a_baseline) {
    const temp_folder folder(L"compare_exits");
    const std::string table = utf8(utility_table());
    const std::wstring base = folder.write(L"base.txt", table);
    const std::wstring w = folder.path(L"w\\");
    const std::wstring a = folder.write(L"w\\a.txt", table);
    for (const wchar_t* name : {L"w\\b", L"w\\c.txt_old", L"w\\e.md", L"w\\d.txt\\f.txt"}) {
        folder.write(name, table);
    }
    CreateHardLinkW((w + L"link.md").c_str(), a.c_str(), nullptr);
    const std::wstring cut = folder.write(L"c\\cut.txt", table.substr(0, 200));
    // Deeper than MAX_PATH, as fleet shares are.
    const std::wstring deep = folder.write(
        std::wstring(120, L'd') + L"\\" + std::wstring(130, L'e') + L"\\pc.txt", table);
    const std::wstring usage =
        L"usage: pelmar_omni_compare [--csv | --json] BASELINE INVENTORY [INVENTORY...]\n"
        L"       pelmar_omni_compare --help\n";
    const auto identical = [](const std::vector<std::wstring>& names) {
        std::wstring text;
        for (const std::wstring& name : names) {
            text += name + L": identical\n";
        }
        const std::wstring count = std::to_wstring(names.size());
        return names.size() < 2 ? text
                                : text + L"\n" + count + L" inventories: " + count +
                                      L" identical, 0 differ, 0 could not be used\n";
    };
    const auto same = [](const std::wstring& name, const std::wstring& earlier) {
        return name + L": the same file as " + earlier + L"; skipped\n";
    };
    const std::vector<std::wstring> all = {w + L"a.txt", w + L"b", w + L"c.txt_old", w + L"e.md"};
    const struct {
        std::vector<std::wstring> arguments;
        int exit_code;
        std::wstring output;
        std::wstring errors;
        int identity = 0;
    } cases[] = {
        {{base}, 2, L"", usage},
        {{L"--bogus", base, a}, 2, L"", L"unknown option --bogus\n" + usage},
        {{L"--", base, a}, 0, identical({a}), L""},
        {{base, L"--", L"--help"}, 2, L"", L"--help: cannot be read. Error code: 0x00000002.\n"},
        {{base, deep}, 0, identical({deep}), L""},
        {{cut, base}, 2, L"", cut + L": incomplete, 0 of 78 rows: the last line has no line end\n"},
        {{w + L"*.md", base}, 2, L"", w + L"*.md: 2 files match; the baseline must be one file\n"},
        {{base, folder.path(L"*.txt")}, 2, L"",
         same(base, base) + L"Nothing to compare: every inventory named is the baseline itself.\n"},
        {{base, w + L"*.txt"}, 0, identical({a}), L""},
        {{base, w + L"*."}, 0, identical({w + L"b"}), L""},
        {{base, w + L"?.*"}, 0, identical(all), L""},
        {{base, w + L"x*"}, 2, L"", w + L"x*: no file matches\n"},
        {{base, w + L"*.*"}, 0, identical(all), same(w + L"link.md", a)},
        {{base, a, folder.path(L"W\\A.TXT")}, 0, identical({a}), same(folder.path(L"W\\A.TXT"), a)},
        {{base, a, a}, 0, identical({a, a}), L"", 1},
        {{base, a, a}, 0, identical({a, a}), L"", 2},
        {{base, a, a}, 0, identical({a, a}), L"", 3},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE("row " + std::to_string(&expected - cases));
        identity_answer = expected.identity;
        std::optional<import_patch> patches[2];
        if (expected.identity != 0) {
            patches[0].emplace("kernel32.dll", "GetFileInformationByHandleEx",
                               as_import(patched_information_ex));
            patches[1].emplace("kernel32.dll", "GetFileInformationByHandle",
                               as_import(patched_information));
        }
        const run_result result = run(expected.arguments);
        EXPECT_EQ(result.exit_code, expected.exit_code) << expected.arguments.back();
        EXPECT_EQ(result.out, expected.output);
        EXPECT_EQ(result.error, expected.errors);
    }
    for (const wchar_t* help : {L"--help", L"/?"}) {
        const run_result result = run({help});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_TRUE(result.out.starts_with(usage + L"\n"));
        EXPECT_EQ(result.error, L"");
    }
}

// Refuses every character, as a closed pipe does.
class refusing_buffer : public std::wstreambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(comparison, a_comparison_that_cannot_be_written_fails_with_2) {
    const temp_folder folder(L"compare_refused");
    const std::wstring base = folder.write(L"base.txt", utf8(utility_table()));
    const std::wstring other = folder.write(L"other.txt", utf8(utility_table()));
    refusing_buffer refusing;
    std::wostream output(&refusing);
    std::wostringstream errors;
    const wchar_t* arguments[] = {base.c_str(), other.c_str()};
    EXPECT_EQ(pelmar::compare::run_compare(arguments, output, errors), 2);
    EXPECT_EQ(errors.str(),
              L"Failed to write the comparison to standard output. Error code: 0x0000001d.\n");
}

}  // namespace
