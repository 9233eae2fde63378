#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare_run.h"
#include "saved_inventory.h"

namespace {

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
        const std::string changed = utf8(utility_table([](std::size_t index, row_values& values) {
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
        }));
        folder.write(L"reports\\PC02.txt", changed);
        // Found by *.txt through its 8.3 name alone.
        folder.write(L"reports\\pc02.txt_old", changed);
        // The same file by another name.
        CreateHardLinkW(path(L"reports\\pc07.txt").c_str(), path(L"reports\\PC02.txt").c_str(),
                        nullptr);
        const std::wstring cut = utility_table(change_at(
            L"pomnres_en.dll", program_files_directory,
            [](row_values& row) { row.directory = missing_text(program_files_directory); }));
        // Cut off inside the fifth row, as by a copy that failed.
        folder.write(L"reports\\pc03.txt", utf8(cut.substr(0, cut.find(L"pomnres_de.dll") - 40)));
        folder.write(L"reports\\pc04.txt", "Failed to initialize COM. Error code: 0x80004005.\n");
        const std::string file_missing = utf8(utility_table(
            change_at(L"pmproc.dll", print_processor_directory, [](row_values& row) {
                row = {row.directory, file_info::unmeasured, L"--", L"--"};
            })));
        for (int machine = 5; machine < 5 + many; ++machine) {
            folder.write(L"reports\\pc" + std::to_wstring(machine + 100) + L".txt", file_missing);
        }
    }

    std::wstring path(const std::wstring& name) const { return folder.path(name); }

    const temp_folder folder{L"compare_fleet"};
    const std::wstring program_files = L"\"Program Files\\Pelmar\\printer\" Directory";
    // Machines that lost the same file: more than a group names.
    static constexpr int many = 13;
};

TEST_F(fleet_test, reports_each_inventory_then_groups_the_fleet_by_change_and_by_reason) {
    const run_result result = run({path(L"base.txt"), path(L"reports\\*.txt"),
                                   path(L"REPORTS\\PC01.TXT"), path(L"none*.txt")});
    EXPECT_EQ(result.exit_code, 2);
    const std::wstring pmproc_missing =
        difference(L"pmproc.dll", L"Print Processor Directory", L"file missing");
    std::wstring each_missing;
    std::wstring first_ten;
    for (int machine = 105; machine < 105 + many; ++machine) {
        const std::wstring name = path(L"reports\\pc" + std::to_wstring(machine) + L".txt");
        each_missing += name + L": 1 of 78 rows differ\n" + pmproc_missing;
        first_ten += machine < 115 ? L"        " + name + L"\n" : L"";
    }
    const std::wstring pc02 = L"        " + path(L"reports\\PC02.txt") + L"\n";
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
                  each_missing + L"\n18 inventories: 1 identical, 14 differ, 3 could not be used\n" +
                  L"Differences from the baseline, most frequent first:\n  13" +
                  pmproc_missing + first_ten + L"        and 3 more\n   1" +
                  difference(L"pelmaromn.inf", program_files, L"file added") + pc02 + L"   1" +
                  difference(L"pmomndrv.dll", L"Printer Driver Directory",
                             L"version 1.0.36.65535 -> 2.0.0.0, size 20516 -> 20517") +
                  pc02 + L"   1" +
                  difference(L"pmproc.dll", L"Print Processor Directory",
                             L"content differs at the same version and size: corrupt or altered") +
                  pc02 + L"   1" +
                  difference(L"pomnres_en.dll", program_files, L"location missing") +
                  L"        " + path(L"reports\\pc03.txt") + L"\n" +
                  L"Could not be used, most frequent first:\n" +
                  L"   1  incomplete, 4 of 78 rows: the last line has no line end\n        " +
                  path(L"reports\\pc03.txt") + L"\n   1  no file matches\n        " +
                  path(L"none*.txt") + L"\n   1  not an inventory (no table header)\n        " +
                  path(L"reports\\pc04.txt") + L"\n");
    EXPECT_EQ(result.errors,
              path(L"reports\\pc03.txt: incomplete, 4 of 78 rows: the last line has no line end\n") +
                  path(L"reports\\pc04.txt: not an inventory (no table header)\n") +
                  path(L"reports\\pc07.txt: the same file as ") + path(L"reports\\PC02.txt; skipped\n") +
                  path(L"REPORTS\\PC01.TXT: the same file as ") +
                  path(L"reports\\pc01.txt; skipped\n") + path(L"none*.txt: no file matches\n"));
}

TEST_F(fleet_test, exits_with_0_when_identical_1_when_different_and_2_without_a_baseline) {
    const std::wstring usage =
        L"usage: pelmar_omni_compare [--csv] BASELINE INVENTORY [INVENTORY...]\n"
        L"       pelmar_omni_compare --help\n";
    // Deeper than MAX_PATH, as fleet shares are.
    const std::wstring deep = folder.write(std::wstring(10, L'x') + L"\\" +
                                               std::wstring(120, L'd') + L"\\" +
                                               std::wstring(120, L'e') + L"\\pc.txt",
                                           utf8(utility_table()));
    const struct {
        std::vector<std::wstring> arguments;
        int exit_code;
        std::wstring output;
        std::wstring errors;
    } cases[] = {
        {{path(L"base.txt")}, 2, L"", usage},
        {{L"--bogus", path(L"base.txt"), path(L"reports\\pc01.txt")},
         2,
         L"",
         L"unknown option --bogus\n" + usage},
        {{L"--", path(L"base.txt"), path(L"reports\\pc01.txt")},
         0,
         path(L"reports\\pc01.txt: identical\n"),
         L""},
        {{path(L"base.txt"), L"--", L"--help"},
         2,
         L"",
         L"--help: cannot be read. Error code: 0x00000002.\n"},
        {{path(L"base.txt"), deep}, 0, deep + L": identical\n", L""},
        {{path(L"base.txt"), path(L"reports\\pc105.txt")},
         1,
         path(L"reports\\pc105.txt: 1 of 78 rows differ\n") +
             difference(L"pmproc.dll", L"Print Processor Directory", L"file missing"),
         L""},
        {{path(L"reports\\pc03.txt"), path(L"base.txt")},
         2,
         L"",
         path(L"reports\\pc03.txt: incomplete, 4 of 78 rows: the last line has no line end\n")},
        {{path(L"reports\\pc0?.txt"), path(L"base.txt")},
         2,
         L"",
         path(L"reports\\pc0?.txt: 5 files match; the baseline must be one file\n")},
        {{path(L"base.txt"), path(L"missing.txt")},
         2,
         L"",
         path(L"missing.txt: cannot be read. Error code: 0x00000002.\n")},
        {{path(L"base.txt"), path(L"*.txt")},
         2,
         L"",
         path(L"base.txt: the same file as ") + path(L"base.txt; skipped\n") +
             L"Nothing to compare: every inventory named is the baseline itself.\n"},
    };
    for (const auto& expected : cases) {
        const run_result result = run(expected.arguments);
        EXPECT_EQ(result.exit_code, expected.exit_code) << expected.arguments.back();
        EXPECT_EQ(result.output, expected.output);
        EXPECT_EQ(result.errors, expected.errors);
    }
    for (const wchar_t* help : {L"--help", L"/?"}) {
        const run_result result = run({help});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_TRUE(result.output.starts_with(usage + L"\n"));
        EXPECT_EQ(result.errors, L"");
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
