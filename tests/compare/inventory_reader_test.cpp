#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "inventory_reader.h"
#include "missing_text.h"
#include "saved_inventory.h"
#include "unique_file_handle.h"

namespace {

using outcome = inventory_reading::outcome;

const std::wstring table = utility_table();

std::vector<std::wstring> lines_of(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end + 1 - start));
    }
    return lines;
}

std::wstring joined(const std::vector<std::wstring>& lines, std::size_t first, std::size_t last) {
    std::wstring text;
    for (std::size_t index = first; index < last; ++index) {
        text += lines[index];
    }
    return text;
}

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    return text.replace(text.find(from), from.size(), to);
}

// The table with one row's values changed before the utility lays it out.
std::wstring with_row(std::size_t changed, void (*change)(row_values&)) {
    return utility_table([&](std::size_t index, row_values& values) {
        if (index == changed) {
            change(values);
        }
    });
}

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

std::vector<reader_case> reader_cases() {
    const std::vector<std::wstring> lines = lines_of(table);
    std::vector<std::wstring> swapped = lines;
    std::swap(swapped[1], swapped[5]);
    std::vector<std::wstring> repeated = lines;
    repeated.insert(repeated.begin() + 1, lines[1]);
    const std::wstring banner = L"Pelmar Omni Print Driver Information Utility 1.0.0.1\n"
                                L"Copyright (c) Pelmar. All rights reserved.\n\n";
    const std::wstring powershell_wrapping =
        L"pelmar_omni_info.exe : Pelmar Omni Print Driver Information Utility 1.0.0.1\n"
        L"At line:1 char:1\n"
        L"    + CategoryInfo          : NotSpecified: (:String) [], RemoteException\n";
    const std::wstring longest_line(line_reader::max_line_length, L'x');
    std::string too_large;
    while (too_large.size() <= line_reader::max_file_bytes) {
        too_large += std::string(1023, 'x') + '\n';
    }
    const std::wstring failure = L"Failed to get print processor directory. Error code: 0x00000005.\n";
    const std::wstring emoji_folder = with_row(3, [](row_values& values) {
        values.directory = L"D:\\Treiber \U0001F5A8\\";
    });

    return {
        {"UTF-8 with LF", utf8(table), outcome::complete, 78, L""},
        {"UTF-8 with BOM and CR LF", "\xEF\xBB\xBF" + utf8(with_crlf(table)), outcome::complete,
         78, L""},
        {"UTF-16LE with CR LF", utf16le(with_crlf(table)), outcome::complete, 78, L""},
        {"UTF-16LE surrogate pair", utf16le(emoji_folder), outcome::complete, 78, L""},
        {"UTF-8 four-byte sequence", utf8(emoji_folder), outcome::complete, 78, L""},
        {"banner and PowerShell lines first", utf16le(with_crlf(banner + powershell_wrapping + table)),
         outcome::complete, 78, L""},
        {"empty lines and other text after the table",
         utf8(table + L"\n\nPS C:\\Users\\admin> \n"), outcome::complete, 78, L""},
        {"line of the longest length", utf8(with_crlf(longest_line + L"\n" + table)),
         outcome::complete, 78, L""},
        {"empty", "", outcome::unusable, 0, L"empty file"},
        {"byte order mark only", "\xEF\xBB\xBF", outcome::unusable, 0, L"empty file"},
        {"no header", utf8(banner + L"Failed to initialize COM. Error code: 0x80004005.\n"),
         outcome::unusable, 0, L"not an inventory (no table header)"},
        {"header with other widths", utf8(replaced(table, L"HASH ", L"HASH")), outcome::unusable,
         0, L"not an inventory (no table header)"},
        {"binary", std::string("MZ\x90\0\3\0\0\0", 8) + utf8(table), outcome::unusable, 0,
         L"line 1: not text"},
        {"invalid UTF-8", utf8(banner) + "\xC0\xAF\n" + utf8(table), outcome::unusable, 0,
         L"line 4: not text"},
        {"UTF-8 encoded surrogate", "\xED\xA0\x80\n" + utf8(table), outcome::unusable, 0,
         L"line 1: not text"},
        {"UTF-8 cut inside a character", utf8(table) + "\xE2\x82", outcome::unusable, 78,
         L"line 80: not text"},
        {"UTF-16LE unpaired surrogate", utf16le(std::wstring(1, wchar_t(0xDC00)) + L"\n" + table),
         outcome::unusable, 0, L"line 1: not text"},
        {"UTF-16LE odd length", utf16le(table) + "\n", outcome::unusable, 78,
         L"UTF-16 text with an odd number of bytes"},
        {"line too long", utf8(longest_line + L"x\n" + table), outcome::unusable, 0,
         L"line 1: line too long"},
        {"too large", too_large, outcome::unusable, 0, L"too large to be an inventory"},
        {"truncated", utf8(joined(lines, 0, 41)), outcome::incomplete, 40,
         L"incomplete, 40 of 78 rows"},
        {"cut mid-line", utf8(joined(lines, 0, 41) + lines[41].substr(0, 70)), outcome::incomplete,
         40, L"incomplete, 40 of 78 rows"},
        {"failure line after 2>&1", utf8(joined(lines, 0, 11) + failure + joined(lines, 11, 20)),
         outcome::incomplete, 10, L"incomplete, 10 of 78 rows"},
        {"header only", utf8(lines[0]), outcome::incomplete, 0, L"incomplete, 0 of 78 rows"},
        {"out of order", utf8(joined(swapped, 0, swapped.size())), outcome::unusable, 0,
         L"line 2: expected pomnres_en.dll, found pomnres_de.dll"},
        {"same row twice", utf8(joined(repeated, 0, repeated.size())), outcome::unusable, 4,
         L"line 6: expected pomnres_de.dll, found pomnres_en.dll"},
        {"more rows than the manifest", utf8(table + lines.back()), outcome::unusable, 78,
         L"line 80: more rows than the manifest has"},
        {"unknown file name", utf8(replaced(table, L"pomnres_de.dll", L"pomnres_xx.dll")),
         outcome::unusable, 4, L"line 6: unknown file name pomnres_xx.dll"},
        {"narrower column", utf8(replaced(table, L"1.0.0.65535 ", L"1.0.0.65535")),
         outcome::unusable, 0, L"line 2: columns not as the utility writes them"},
        {"upper-case hash", utf8(with_row(3, [](row_values& values) {
             values.hash[0] = L'A';
         })),
         outcome::unusable, 3, L"line 5: columns not as the utility writes them"},
        {"version with leading zero", utf8(with_row(0, [](row_values& values) {
             values.version = L"1.00.0.1";
         })),
         outcome::unusable, 0, L"line 2: columns not as the utility writes them"},
        {"version part beyond 65535", utf8(with_row(0, [](row_values& values) {
             values.version = L"1.0.0.65536";
         })),
         outcome::unusable, 0, L"line 2: columns not as the utility writes them"},
        {"digest without size", utf8(with_row(0, [](row_values& values) {
             values.size = file_info::unmeasured;
         })),
         outcome::unusable, 0, L"line 2: columns not as the utility writes them"},
        {"tab in the directory", utf8(with_row(0, [](row_values& values) {
             values.directory += L"\tD:\\";
         })),
         outcome::unusable, 0, L"line 2: columns not as the utility writes them"},
    };
}

class inventory_reader_test : public ::testing::TestWithParam<reader_case> {};

TEST_P(inventory_reader_test, reads_what_the_utility_wrote_and_names_what_it_did_not) {
    const temp_folder folder(L"reader");
    const std::wstring path = folder.write(L"inventory.txt", GetParam().bytes);
    const unique_file_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<inventory_row> rows;
    const inventory_reading reading = inventory_reader().read(file.get(), rows);
    EXPECT_EQ(reading.result, GetParam().result);
    EXPECT_EQ(reading.rows, GetParam().rows);
    EXPECT_EQ(reading.problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(edge_cases, inventory_reader_test, ::testing::ValuesIn(reader_cases()),
                         [](const auto& info) {
                             std::string name;
                             for (const char character : std::string(info.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(character))
                                             ? character
                                             : '_';
                             }
                             return name;
                         });

TEST(inventory_reader, reads_each_rows_values_and_only_tells_missing_locations_by_their_text) {
    const temp_folder folder(L"values");
    // The second reading repeats the first one's columns, with other
    // directories: it must not take the first one's location answers.
    const std::wstring other_directories =
        utility_table([](std::size_t, row_values& values) { values.directory = L"E:\\"; });
    const std::wstring first = folder.write(L"first.txt", utf8(table));
    const std::wstring second = folder.write(L"second.txt", utf16le(other_directories));
    inventory_reader reader;
    for (const std::wstring& path : {first, second}) {
        const unique_file_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
        std::vector<inventory_row> rows;
        ASSERT_EQ(reader.read(file.get(), rows).result, outcome::complete);
        for (std::size_t index = 0; index < rows.size(); ++index) {
            const row_values expected = lab_machine_row(index);
            const bool present = expected.hash != L"--";
            EXPECT_EQ(rows[index].location_exists,
                      path == second ||
                          expected.directory != missing_text(manifest_rows()[index].location))
                << index;
            EXPECT_EQ(rows[index].file_present, present) << index;
            if (present) {
                EXPECT_EQ(rows[index].size, expected.size) << index;
                EXPECT_EQ(rows[index].version, expected.version) << index;
                EXPECT_EQ(rows[index].hash, expected.hash) << index;
            }
        }
    }
}

}  // namespace
