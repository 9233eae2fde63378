#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare_run.h"
#include "row_change.h"
#include "saved_inventory.h"

namespace {

inventory_row found_with(std::uint64_t size, const wchar_t* version, wchar_t digit) {
    return {true, true, size, version, std::wstring(40, digit)};
}

TEST(row_change, names_the_first_difference_that_applies) {
    const inventory_row found = found_with(1000, L"1.0.0.1", L'a');
    const inventory_row no_location{false, false, 0, L"", L""};
    const inventory_row no_file{true, false, 0, L"", L""};
    const struct {
        inventory_row baseline;
        inventory_row other;
        std::wstring change;
    } cases[] = {
        {found, found, L""},
        {no_location, no_location, L""},
        {found, no_location, L"location missing"},
        {found, {false, true, 1, L"2.0.0.0", std::wstring(40, L'b')}, L"location missing"},
        {no_location, no_file, L"location added"},
        {found, no_file, L"file missing"},
        {no_file, found, L"file added"},
        {found, found_with(1000, L"1.0.0.2", L'b'), L"version 1.0.0.1 -> 1.0.0.2"},
        {found, found_with(999, L"1.0.0.1", L'b'), L"size 1000 -> 999"},
        {found, found_with(4294967296, L"N/A", L'a'),
         L"version 1.0.0.1 -> N/A, size 1000 -> 4294967296"},
        {found, found_with(1000, L"1.0.0.1", L'b'),
         L"content differs at the same version and size: corrupt or altered"},
    };
    for (const auto& expected : cases) {
        EXPECT_EQ(row_change(expected.baseline, expected.other), expected.change);
    }
}

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

// A line about a differing row: the file and location columns are two wider
// than the longest names, pelmarxpsdrv-pipelineconfig.xml and the Program
// Files (x86) location.
std::wstring difference(std::wstring file, std::wstring location, const std::wstring& change) {
    file.resize(33, L' ');
    location.resize(48, L' ');
    return L"  " + file + location + change + L"\n";
}

// Changes `file` at `location` in the lab machine's table.
std::function<void(std::size_t, row_values&)> change_at(const wchar_t* file,
                                                        install_location location,
                                                        void (*change)(row_values&)) {
    return [=](std::size_t index, row_values& values) {
        if (manifest_rows()[index].entry->file_name == file &&
            manifest_rows()[index].location == location) {
            change(values);
        }
    };
}

class fleet_test : public ::testing::Test {
protected:
    fleet_test() {
        folder.write(L"base.txt", utf8(utility_table()));
        // Another machine, drive and Program Files, saved by Windows PowerShell.
        folder.write(L"reports\\pc01.txt", utf16le(utility_table(
                                               [](std::size_t, row_values& values) {
                                                   values.directory[0] =
                                                       values.directory[0] == L'C' ? L'D' : L'<';
                                               },
                                               L"\r\n")));
        folder.write(L"reports\\PC02.txt",
                     utf8(utility_table([](std::size_t index, row_values& values) {
                         change_at(L"pmomndrv.dll", printer_driver_directory, [](row_values& row) {
                             row.version = L"2.0.0.0";
                             row.size += 1;
                         })(index, values);
                         change_at(L"pelmaromn.inf", program_files_directory, [](row_values& row) {
                             row = {row.directory, 512, L"N/A", std::wstring(40, L'c')};
                         })(index, values);
                         change_at(L"pmproc.dll", print_processor_directory, [](row_values& row) {
                             row.hash[0] = row.hash[0] == L'f' ? L'e' : L'f';
                         })(index, values);
                     })));
        const std::wstring cut = utility_table(change_at(
            L"pomnres_en.dll", program_files_directory,
            [](row_values& row) { row.directory = missing_text(program_files_directory); }));
        // Cut off inside the fifth row, as by a copy that failed.
        folder.write(L"reports\\pc03.txt", utf8(cut.substr(0, cut.find(L"pomnres_de.dll") - 40)));
        folder.write(L"reports\\pc04.txt", "Failed to initialize COM. Error code: 0x80004005.\n");
        folder.write(L"reports\\pc05.txt",
                     utf8(utility_table(
                         change_at(L"pmproc.dll", print_processor_directory, [](row_values& row) {
                             row = {row.directory, file_info::unmeasured, L"--", L"--"};
                         }))));
    }

    std::wstring path(const std::wstring& name) const { return folder.path(name); }

    const temp_folder folder{L"compare_fleet"};
    const std::wstring program_files = L"\"Program Files\\Pelmar\\printer\" Directory";
};

TEST_F(fleet_test, reports_each_inventory_then_the_fleet_and_exits_with_2_after_unusable_input) {
    const run_result result = run({path(L"base.txt"), path(L"reports\\*.txt"),
                                   path(L"REPORTS\\PC01.TXT"), path(L"none*.txt")});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.output,
              path(L"reports\\pc01.txt: identical\n") +
                  path(L"reports\\PC02.txt: 3 of 78 rows differ\n") +
                  difference(L"pmomndrv.dll", L"Printer Driver Directory",
                             L"version 1.0.36.65535 -> 2.0.0.0, size 20516 -> 20517") +
                  difference(L"pelmaromn.inf", program_files, L"file added") +
                  difference(L"pmproc.dll", L"Print Processor Directory",
                             L"content differs at the same version and size: corrupt or altered") +
                  path(L"reports\\pc03.txt: 1 of 4 rows differ\n") +
                  difference(L"pomnres_en.dll", program_files, L"location missing") +
                  path(L"reports\\pc05.txt: 1 of 78 rows differ\n") +
                  difference(L"pmproc.dll", L"Print Processor Directory", L"file missing") +
                  L"\n6 inventories: 1 identical, 2 differ, 3 could not be used\n"
                  L"Differences from the baseline by file and location, most frequent first:\n"
                  L"  2  pmproc.dll                       Print Processor Directory\n"
                  L"  1  pomnres_en.dll                   " +
                  program_files +
                  L"\n"
                  L"  1  pmomndrv.dll                     Printer Driver Directory\n"
                  L"  1  pelmaromn.inf                    " +
                  program_files + L"\n");
    EXPECT_EQ(result.errors, path(L"reports\\pc03.txt: incomplete, 4 of 78 rows\n") +
                                 path(L"reports\\pc04.txt: not an inventory (no table header)\n") +
                                 path(L"REPORTS\\PC01.TXT: the same file as ") +
                                 path(L"reports\\pc01.txt; skipped\n") +
                                 path(L"none*.txt: no file matches\n"));
}

TEST_F(fleet_test, exits_with_0_when_identical_1_when_different_and_2_without_a_baseline) {
    const struct {
        std::vector<std::wstring> arguments;
        int exit_code;
        std::wstring output;
        std::wstring errors;
    } cases[] = {
        {{path(L"base.txt")},
         2,
         L"",
         L"usage: pelmar_omni_compare BASELINE INVENTORY [INVENTORY...]\n"},
        {{path(L"base.txt"), path(L"reports\\pc01.txt")},
         0,
         path(L"reports\\pc01.txt: identical\n"),
         L""},
        {{path(L"base.txt"), path(L"reports\\pc05.txt")},
         1,
         path(L"reports\\pc05.txt: 1 of 78 rows differ\n") +
             difference(L"pmproc.dll", L"Print Processor Directory", L"file missing"),
         L""},
        {{path(L"reports\\pc03.txt"), path(L"base.txt")},
         2,
         L"",
         path(L"reports\\pc03.txt: incomplete, 4 of 78 rows\n")},
        {{path(L"reports\\pc0?.txt"), path(L"base.txt")},
         2,
         L"",
         path(L"reports\\pc0?.txt: 5 files match; the baseline must be one file\n")},
        {{path(L"base.txt"), path(L"missing.txt")},
         2,
         L"",
         path(L"missing.txt: cannot be read. Error code: 0x00000002.\n")},
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
    const std::wstring arguments[] = {path(L"base.txt"), path(L"reports\\pc01.txt")};
    const wchar_t* pointers[] = {arguments[0].c_str(), arguments[1].c_str()};
    EXPECT_EQ(run_compare(pointers, output, errors), 2);
    EXPECT_EQ(errors.str(),
              L"Failed to write the comparison to standard output. Error code: 0x0000001d.\n");
}

}  // namespace
