#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare_run.h"
#include "saved_inventory.h"

namespace {

// A saved inventory damaged or edited the ways that once passed for a sound
// one, and what the comparison with the lab machine's own table must say:
// its line on standard error, its verdict on standard output, its exit code.
struct hostile_case {
    const char* name;
    std::string bytes;
    std::wstring problem;  // after "NAME: " on standard error; empty for none
    std::wstring verdict;  // after "NAME: " on standard output; empty for nothing
    int exit_code;
};

void PrintTo(const hostile_case& tested, std::ostream* out) {
    *out << tested.name;
}

// The first `count` lines of `text`, with their line ends.
std::wstring first_lines(const std::wstring& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t line = 0; line < count; ++line) {
        end = text.find(L'\n', end) + 1;
    }
    return text.substr(0, end);
}

// The lab machine's table with the third row's folder, a missing location,
// changed by `change`.
std::string with_third_folder(void (*change)(row_values&), const wchar_t* line_end = L"\n") {
    return utf8(utility_table(
        [change](std::size_t index, row_values& values) {
            if (index == 2) {
                change(values);
            }
        },
        line_end));
}

std::vector<hostile_case> hostile_cases() {
    const std::wstring table = utility_table();
    const std::wstring crlf_table = utility_table(nullptr, L"\r\n");
    const std::wstring cut_at = L"incomplete, 77 of 78 rows: the last line has no line end";
    const std::wstring bad_columns = L"line 4: columns not as the utility writes them";
    // The third row is the first with a missing location, x86 Program Files.
    const std::wstring third_row_cut =
        first_lines(table, 3) + table.substr(first_lines(table, 3).size(), 150);
    const std::string utf16 = utf16le(crlf_table);
    return {
        {"cut_inside_the_last_folder_name", utf8(table.substr(0, table.size() - 8)), cut_at,
         L"0 of 77 rows differ", 2},
        {"cut_between_the_last_cr_and_lf", utf8(crlf_table.substr(0, crlf_table.size() - 1)),
         cut_at, L"0 of 77 rows differ", 2},
        {"cut_inside_a_missing_text", utf8(third_row_cut),
         L"incomplete, 2 of 78 rows: the last line has no line end", L"0 of 2 rows differ", 2},
        {"utf16_cut_at_an_odd_byte",
         utf16.substr(0, utf16.find(std::string("p\0m\0p\0r\0o\0c", 11)) + 1),
         L"incomplete, 70 of 78 rows: UTF-16 text with an odd number of bytes",
         L"0 of 70 rows differ", 2},
        {"header_only", utf8(first_lines(table, 1)), L"incomplete, 0 of 78 rows", L"", 2},
        {"another_locations_missing_text",
         with_third_folder([](row_values& row) {
             row.directory = missing_text(program_files_directory);
         }),
         bad_columns, L"", 2},
        {"missing_text_ending_in_a_stray_cr",
         with_third_folder([](row_values& row) { row.directory += L"\r"; }, L"\r\n"),
         bad_columns, L"", 2},
        {"folder_with_a_control_character",
         utf8(utility_table([](std::size_t index, row_values& values) {
             values.directory += index == 0 ? L"\x1b[2J" : L"";
         })),
         L"line 2: columns not as the utility writes them", L"", 2},
        {"missing_location_with_a_file",
         with_third_folder([](row_values& row) {
             row = {row.directory, 512, L"N/A", std::wstring(40, L'c')};
         }),
         bad_columns, L"", 2},
    };
}

class hostile_input_test : public ::testing::TestWithParam<hostile_case> {};

TEST_P(hostile_input_test, is_never_taken_for_a_sound_inventory) {
    const temp_folder folder(L"compare_hostile");
    const std::wstring baseline = folder.write(L"base.txt", utf8(utility_table()));
    const std::wstring inventory = folder.write(L"inventory.txt", GetParam().bytes);
    const wchar_t* arguments[] = {baseline.c_str(), inventory.c_str()};
    std::wostringstream output;
    std::wostringstream errors;
    EXPECT_EQ(run_compare(arguments, output, errors), GetParam().exit_code);
    const auto line = [&inventory](const std::wstring& text) {
        return text.empty() ? text : inventory + L": " + text + L"\n";
    };
    EXPECT_EQ(errors.str(), line(GetParam().problem));
    EXPECT_EQ(output.str(), line(GetParam().verdict));
}

INSTANTIATE_TEST_SUITE_P(damaged_or_edited, hostile_input_test,
                         ::testing::ValuesIn(hostile_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
