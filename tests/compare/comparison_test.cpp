#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare_run.h"
#include "inventory_row.h"
#include "missing_text.h"
#include "row_change.h"
#include "saved_inventory.h"

namespace {

struct change_case {
    const char* name;
    inventory_row baseline;
    inventory_row other;
    std::wstring change;
};

const std::wstring digest(40, L'a');
const std::wstring other_digest(40, L'b');
const inventory_row found{true, true, 1000, L"1.0.0.1", digest};
const inventory_row absent{true, false, 0, L"", L""};
const inventory_row no_location{false, false, 0, L"", L""};

inventory_row found_with(std::uint64_t size, const std::wstring& version,
                         const std::wstring& hash) {
    return {true, true, size, version, hash};
}

void PrintTo(const change_case& tested, std::ostream* out) {
    *out << tested.name;
}

class row_change_test : public ::testing::TestWithParam<change_case> {};

TEST_P(row_change_test, names_the_first_difference_that_applies) {
    EXPECT_EQ(row_change(GetParam().baseline, GetParam().other), GetParam().change);
}

INSTANTIATE_TEST_SUITE_P(
    changes, row_change_test,
    ::testing::Values(
        change_case{"same", found, found, L""},
        change_case{"both_absent", absent, absent, L""},
        change_case{"both_without_location", no_location, no_location, L""},
        change_case{"location_missing", found, no_location, L"location missing"},
        change_case{"location_added", no_location, absent, L"location added"},
        change_case{"file_missing", found, absent, L"file missing"},
        change_case{"file_added", absent, found, L"file added"},
        change_case{"version", found, found_with(1000, L"1.0.0.2", other_digest),
                    L"version 1.0.0.1 -> 1.0.0.2"},
        change_case{"size", found, found_with(999, L"1.0.0.1", other_digest),
                    L"size 1000 -> 999"},
        change_case{"version_and_size", found, found_with(4294967296, L"N/A", digest),
                    L"version 1.0.0.1 -> N/A, size 1000 -> 4294967296"},
        change_case{"content", found, found_with(1000, L"1.0.0.1", other_digest),
                    L"content differs at the same version and size: corrupt or altered"}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs the comparison with `arguments`; its exit code, output and errors.
struct run_result {
    int exit_code;
    std::wstring output;
    std::wstring errors;
};

run_result run(const std::vector<std::wstring>& arguments) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    std::wostringstream output;
    std::wostringstream errors;
    const int exit_code = run_compare(pointers, output, errors);
    return {exit_code, output.str(), errors.str()};
}

// One line about a differing row: the file and location columns are 33 and
// 48 characters wide, two more than the longest name of each
// (pelmarxpsdrv-pipelineconfig.xml and the Program Files (x86) location).
std::wstring difference(std::wstring file, std::wstring location, const std::wstring& change) {
    file.resize(33, L' ');
    location.resize(48, L' ');
    return L"  " + file + location + change + L"\n";
}

bool in_row(std::size_t index, const wchar_t* file, install_location location) {
    return manifest_rows()[index].entry->file_name == file &&
           manifest_rows()[index].location == location;
}

class fleet_test : public ::testing::Test {
protected:
    fleet_test() {
        folder.write(L"base.txt", utf8(utility_table()));
        std::filesystem::create_directories(folder.path() + L"\\reports");
        // Another machine: other drive, other Program Files, saved by PowerShell.
        folder.write(L"reports\\pc01.txt",
                     utf16le(with_crlf(utility_table([](std::size_t, row_values& values) {
                         if (values.directory[0] == L'C') {
                             values.directory[0] = L'D';
                         }
                     }))));
        folder.write(L"reports\\PC02.txt", utf8(utility_table([](std::size_t index,
                                                                     row_values& values) {
                         if (in_row(index, L"pmomndrv.dll", printer_driver_directory)) {
                             values.version = L"2.0.0.0";
                             values.size += 1;
                         } else if (in_row(index, L"pelmaromn.inf", program_files_directory)) {
                             values = {values.directory, 512, L"N/A", std::wstring(40, L'c')};
                         } else if (in_row(index, L"pmproc.dll", print_processor_directory)) {
                             values.hash[0] = values.hash[0] == L'f' ? L'e' : L'f';
                         }
                     })));
        const std::wstring cut = utility_table([](std::size_t index, row_values& values) {
            if (in_row(index, L"pomnres_en.dll", program_files_directory)) {
                values.directory = missing_text(program_files_directory);
            }
        });
        std::size_t end = 0;
        for (int line = 0; line < 6; ++line) {
            end = cut.find(L'\n', end) + 1;
        }
        folder.write(L"reports\\pc03.txt", utf8(cut.substr(0, end)));
        folder.write(L"reports\\pc04.txt", "Failed to initialize COM. Error code: 0x80004005.\n");
        folder.write(L"reports\\pc05.txt", utf8(utility_table([](std::size_t index,
                                                                    row_values& values) {
                         if (in_row(index, L"pmproc.dll", print_processor_directory)) {
                             values = {values.directory, file_info::unmeasured, L"--", L"--"};
                         }
                     })));
    }

    std::wstring path(const std::wstring& name) const { return folder.path() + L"\\" + name; }

    const temp_folder folder{L"fleet"};
};

TEST_F(fleet_test, reports_each_inventory_then_the_fleet_and_exits_with_2_after_unusable_input) {
    const run_result result = run({path(L"base.txt"), path(L"reports\\*.txt"),
                                   path(L"REPORTS\\PC01.TXT"), path(L"none*.txt")});
    EXPECT_EQ(result.exit_code, 2);
    const std::wstring program_files = L"\"Program Files\\Pelmar\\printer\" Directory";
    EXPECT_EQ(result.output,
              path(L"reports\\pc01.txt: identical\n") +
                  path(L"reports\\PC02.txt: 3 of 78 rows differ\n") +
                  difference(L"pmomndrv.dll", L"Printer Driver Directory",
                             L"version 1.0.36.65535 -> 2.0.0.0, size 20516 -> 20517") +
                  difference(L"pelmaromn.inf", program_files, L"file added") +
                  difference(L"pmproc.dll", L"Print Processor Directory",
                             L"content differs at the same version and size: corrupt or altered") +
                  path(L"reports\\pc03.txt: 1 of 5 rows differ\n") +
                  difference(L"pomnres_en.dll", program_files, L"location missing") +
                  path(L"reports\\pc05.txt: 1 of 78 rows differ\n") +
                  difference(L"pmproc.dll", L"Print Processor Directory", L"file missing") +
                  L"\n6 inventories: 1 identical, 2 differ, 3 could not be used\n"
                  L"Differences from the baseline by file and location, most frequent first:\n"
                  L"  2  pmproc.dll                       Print Processor Directory\n"
                  L"  1  pomnres_en.dll                   " + program_files + L"\n"
                  L"  1  pmomndrv.dll                     Printer Driver Directory\n"
                  L"  1  pelmaromn.inf                    " + program_files + L"\n");
    EXPECT_EQ(result.errors,
              path(L"reports\\pc03.txt: incomplete, 5 of 78 rows\n") +
                  path(L"reports\\pc04.txt: not an inventory (no table header)\n") +
                  path(L"REPORTS\\PC01.TXT: the same file as ") +
                  path(L"reports\\pc01.txt; skipped\n") +
                  path(L"none*.txt: no file matches\n"));
}

TEST_F(fleet_test, exit_code_and_streams_follow_the_worst_input) {
    const struct {
        std::vector<std::wstring> arguments;
        int exit_code;
        std::wstring output;
        std::wstring errors;
    } cases[] = {
        {{path(L"base.txt")}, 2, L"",
         L"usage: pelmar_omni_compare BASELINE INVENTORY [INVENTORY...]\n"},
        {{path(L"base.txt"), path(L"reports\\pc01.txt")}, 0,
         path(L"reports\\pc01.txt: identical\n"), L""},
        {{path(L"base.txt"), path(L"reports\\pc05.txt")}, 1,
         path(L"reports\\pc05.txt: 1 of 78 rows differ\n") +
             difference(L"pmproc.dll", L"Print Processor Directory", L"file missing"),
         L""},
        {{path(L"base.txt"), path(L"missing.txt")}, 2, L"",
         path(L"missing.txt: cannot be read. Error code: 0x00000002.\n")},
        {{path(L"reports\\pc04.txt"), path(L"base.txt")}, 2, L"",
         path(L"reports\\pc04.txt: not an inventory (no table header)\n")},
        {{path(L"reports\\pc03.txt"), path(L"base.txt")}, 2, L"",
         path(L"reports\\pc03.txt: incomplete, 5 of 78 rows\n")},
        {{path(L"reports\\pc0?.txt"), path(L"base.txt")}, 2, L"",
         path(L"reports\\pc0?.txt: 5 files match; the baseline must be one file\n")},
    };
    for (const auto& expected : cases) {
        const run_result result = run(expected.arguments);
        EXPECT_EQ(result.exit_code, expected.exit_code) << expected.arguments.back();
        EXPECT_EQ(result.output, expected.output);
        EXPECT_EQ(result.errors, expected.errors);
    }
}

// Refuses every character, as a closed pipe does.
class refusing_buffer : public std::wstreambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST_F(fleet_test, a_comparison_that_cannot_be_written_fails_with_2) {
    refusing_buffer refusing;
    std::wostream output(&refusing);
    std::wostringstream errors;
    const std::wstring base = path(L"base.txt");
    const std::wstring other = path(L"reports\\pc01.txt");
    const wchar_t* arguments[] = {base.c_str(), other.c_str()};
    EXPECT_EQ(run_compare(arguments, output, errors), 2);
    EXPECT_EQ(errors.str(),
              L"Failed to write the comparison to standard output. Error code: 0x0000001d.\n");
}

}  // namespace
