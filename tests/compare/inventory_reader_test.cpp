#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "inventory_reader.h"
#include "saved_inventory.h"
#include "unique_file_handle.h"

namespace {

using outcome = inventory_reading::outcome;

struct reader_case {
    const char* name;
    std::string bytes;
    outcome result;
    std::size_t rows;
    std::wstring problem;
};

void PrintTo(const reader_case& tested, std::ostream* out) {
    *out << tested.name;
}

// Lines [first, last) of `text`, with their line ends.
std::wstring lines(const std::wstring& text, std::size_t first, std::size_t last) {
    std::size_t start = 0;
    for (std::size_t line = 0; line < first; ++line) {
        start = text.find(L'\n', start) + 1;
    }
    std::size_t end = start;
    for (std::size_t line = first; line < last; ++line) {
        end = text.find(L'\n', end) + 1;
    }
    return text.substr(start, end - start);
}

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    return text.replace(text.find(from), from.size(), to);
}

// The table with row `changed` altered before the utility lays it out.
std::string with_row(std::size_t changed, void (*change)(row_values&)) {
    return utf8(utility_table([&](std::size_t index, row_values& values) {
        if (index == changed) {
            change(values);
        }
    }));
}

std::vector<reader_case> reader_cases() {
    const std::wstring table = utility_table();
    const std::wstring banner =
        L"Pelmar Omni Print Driver Information Utility 1.0.0.1\r\n"
        L"Copyright (c) Pelmar. All rights reserved.\r\n\r\n";
    const std::wstring powershell =
        L"pelmar_omni_info.exe : Pelmar Omni Print Driver\r\n"
        L"At line:1 char:1\r\n";
    const std::wstring longest_line(line_reader::max_line_length, L'x');
    std::string too_large;
    while (too_large.size() <= line_reader::max_file_bytes) {
        too_large += std::string(1023, 'x') + '\n';
    }
    const std::wstring emoji_folder = utility_table([](std::size_t index, row_values& values) {
        values.directory += index == 3 ? L"\U0001F5A8\\" : L"";
    });
    const auto bad_columns = [](int line) {
        return L"line " + std::to_wstring(line) + L": columns not as the utility writes them";
    };
    return {
        {"utf8_lf", utf8(table), outcome::complete, 78, L""},
        {"utf8_bom_crlf", "\xEF\xBB\xBF" + utf8(utility_table(nullptr, L"\r\n")), outcome::complete,
         78, L""},
        {"utf16le_crlf_after_banner_and_powershell_lines",
         utf16le(banner + powershell + utility_table(nullptr, L"\r\n")), outcome::complete, 78,
         L""},
        {"utf16le_surrogate_pair", utf16le(emoji_folder), outcome::complete, 78, L""},
        {"utf8_four_bytes", utf8(emoji_folder), outcome::complete, 78, L""},
        {"empty_lines_and_text_after_the_table", utf8(table + L"\n\nPS C:\\> \n"),
         outcome::complete, 78, L""},
        {"longest_line", utf8(longest_line + L"\r\n" + table), outcome::complete, 78, L""},
        {"empty", "", outcome::unusable, 0, L"empty file"},
        {"byte_order_mark_only", "\xEF\xBB\xBF", outcome::unusable, 0, L"empty file"},
        {"no_header", utf8(banner + L"Failed to initialize COM. Error code: 0x80004005.\n"),
         outcome::unusable, 0, L"not an inventory (no table header)"},
        {"header_with_other_widths", utf8(replaced(table, L"HASH ", L"HASH")), outcome::unusable, 0,
         L"not an inventory (no table header)"},
        {"binary", std::string("MZ\x90\0\3\0", 6) + utf8(table), outcome::unusable, 0,
         L"line 1: not text"},
        {"invalid_utf8", "banner\n\xC0\xAF\n" + utf8(table), outcome::unusable, 0,
         L"line 2: not text"},
        {"utf8_surrogate", "\xED\xA0\x80\n" + utf8(table), outcome::unusable, 0,
         L"line 1: not text"},
        {"utf8_cut_inside_a_character", utf8(table) + "\xE2\x82", outcome::unusable, 78,
         L"line 80: not text"},
        {"utf16le_unpaired_surrogate", utf16le(std::wstring(1, wchar_t{0xDC00}) + L"\n" + table),
         outcome::unusable, 0, L"line 1: not text"},
        {"utf16le_odd_length", utf16le(table) + "\n", outcome::unusable, 78,
         L"UTF-16 text with an odd number of bytes"},
        {"line_too_long", utf8(longest_line + L"x\n" + table), outcome::unusable, 0,
         L"line 1: line too long"},
        {"too_large", too_large, outcome::unusable, 0, L"too large to be an inventory"},
        {"truncated", utf8(lines(table, 0, 41)), outcome::incomplete, 40,
         L"incomplete, 40 of 78 rows"},
        {"cut_mid_line", utf8(lines(table, 0, 41) + lines(table, 41, 42).substr(0, 70)),
         outcome::incomplete, 40, L"incomplete, 40 of 78 rows"},
        {"failure_line_after_2_1",
         utf8(lines(table, 0, 11) + L"Failed to get print processor directory.\n" +
              lines(table, 11, 20)),
         outcome::incomplete, 10, L"incomplete, 10 of 78 rows"},
        {"out_of_order", utf8(lines(table, 0, 1) + lines(table, 5, 6) + lines(table, 1, 79)),
         outcome::unusable, 0, L"line 2: expected pomnres_en.dll, found pomnres_de.dll"},
        {"same_row_twice", utf8(lines(table, 0, 2) + lines(table, 1, 79)), outcome::unusable, 4,
         L"line 6: expected pomnres_de.dll, found pomnres_en.dll"},
        {"more_rows_than_the_manifest", utf8(table + lines(table, 78, 79)), outcome::unusable, 78,
         L"line 80: more rows than the manifest has"},
        {"unknown_file_name", utf8(replaced(table, L"pomnres_de.dll", L"pomnres_xx.dll")),
         outcome::unusable, 4, L"line 6: unknown file name pomnres_xx.dll"},
        {"narrower_column", utf8(replaced(table, L"1.0.0.65535 ", L"1.0.0.65535")),
         outcome::unusable, 0, bad_columns(2)},
        {"upper_case_hash", with_row(3, [](row_values& values) { values.hash[0] = L'A'; }),
         outcome::unusable, 3, bad_columns(5)},
        {"version_with_leading_zero",
         with_row(0, [](row_values& values) { values.version = L"1.00.0.1"; }), outcome::unusable,
         0, bad_columns(2)},
        {"version_part_beyond_65535",
         with_row(0, [](row_values& values) { values.version = L"1.0.0.65536"; }),
         outcome::unusable, 0, bad_columns(2)},
        {"digest_without_size",
         with_row(0, [](row_values& values) { values.size = file_info::unmeasured; }),
         outcome::unusable, 0, bad_columns(2)},
        {"tab_in_the_directory",
         with_row(0, [](row_values& values) { values.directory += L"\tD:\\"; }), outcome::unusable,
         0, bad_columns(2)},
    };
}

class inventory_reader_test : public ::testing::TestWithParam<reader_case> {};

TEST_P(inventory_reader_test, reads_what_the_utility_wrote_and_names_what_it_did_not) {
    const temp_folder folder(L"compare_reader");
    const std::wstring path = folder.write(L"inventory.txt", GetParam().bytes);
    const unique_file_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    std::vector<inventory_row> rows;
    const inventory_reading reading = inventory_reader().read(file.get(), rows);
    EXPECT_EQ(reading.result, GetParam().result);
    EXPECT_EQ(reading.rows, GetParam().rows);
    EXPECT_EQ(reading.problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(edge_cases, inventory_reader_test, ::testing::ValuesIn(reader_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
