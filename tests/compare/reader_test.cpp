#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "saved_inventory.h"

namespace {

// The lab machine's table in UTF-8 with `edit` done to the row at `index`.
std::string with_row(std::size_t index, void (*edit)(row_values&), const wchar_t* end = L"\n") {
    return utf8(utility_table(
        [=](std::size_t at, row_values& row) { at == index ? edit(row) : void(); }, end));
}

// The first `count` lines of `table`, and the lines after them.
std::wstring head(const std::wstring& table, std::size_t count) {
    std::size_t at = 0;
    while (count-- > 0) {
        at = table.find(L'\n', at) + 1;
    }
    return table.substr(0, at);
}

std::wstring tail(const std::wstring& table, std::size_t count) {
    return table.substr(head(table, count).size());
}

// A line about a differing row: the file and location columns are two wider
// than the longest names, pelmarxpsdrv-pipelineconfig.xml and the Program
// Files (x86) location.
std::wstring difference(std::wstring file, install_location location, const std::wstring& change) {
    file.resize(33, L' ');
    std::wstring name(location_name(location));
    name.resize(48, L' ');
    return L"  " + file + name + change + L"\n";
}

// Saved inventories, each whole file as bytes, and what the comparison with
// the lab machine's own table says: its line on standard error after "NAME: "
// (none for a sound one), its exit code, and where given the start of its
// standard output after "NAME: ", for the changes the end-to-end fleet does
// not show.
TEST(reader, reads_what_the_utility_writes_and_names_what_it_does_not) {
    const std::wstring table = utility_table();
    const std::wstring crlf = utility_table(nullptr, L"\r\n");
    const std::string bytes = utf8(table);
    const std::string utf16 = utf16le(crlf);
    const std::wstring failure =
        L"Failed to write the report to standard output. Error code: 0x00000070.\n";
    const std::wstring before = table.substr(0, table.find(L"pomnres_en"));
    const std::wstring renamed = table.substr(before.size() + 10);
    const std::size_t most = 16 * 1024 * 1024;
    const auto bad = [](int line) {
        return L"line " + std::to_wstring(line) + L": columns not as the utility writes them";
    };
    const std::wstring after = L"line 80: text after the table";
    const std::wstring stray = L": a line without columns inside the table";
    const std::wstring one = L"1 of 78 rows differ\n";
    const std::wstring en = L"pomnres_en.dll";
    const struct {
        std::string bytes;
        std::wstring problem;
        int exit_code;
        std::wstring output = {};
    } cases[] = {
        {"\xEF\xBB\xBF" + bytes + "\n\r\n", L"", 0},
        {"Pelmar \xA9 Omni \x81\r\n" + bytes, L"", 0},
        {utf16 + std::string("\n\0", 2), L"", 0},
        {bytes + std::string(most - bytes.size(), '\n'), L"", 0},
        {bytes + std::string(most + 1 - bytes.size(), '\n'), L"too large to be an inventory", 2},
        {"", L"empty file", 2},
        {"\xEF\xBB\xBF", L"empty file", 2},
        {"Failed to initialize COM.\n", L"not an inventory (no table header)", 2},
        {bytes + "x\ty", after, 2},
        {bytes + std::string(64, '\0'), after, 2},
        {bytes + "\r", after, 2},
        {utf16 + "\n", after, 2},
        {bytes + "\n\xC0\xAF\n", L"line 81: text after the table", 2},
        {bytes + "x\ty\n", L"line 80: more rows than the manifest has", 2},
        {with_row(4, [](row_values& row) { row = lab_machine_row(7); }),
         L"line 6: folder differs from line 2 for the same location", 2},
        {with_row(5, [](row_values& row) { row = lab_machine_row(4); }),
         L"line 7: folder differs from line 3 for the same location", 2},
        {with_row(0, [](row_values& row) { row.directory = L"C:\\" + std::wstring(32765, L'x'); }),
         bad(2), 2},
        {utf8(utility_table([](std::size_t, row_values& row) {
             row.directory = row.directory[0] == L'C' ? std::wstring(32767, L'x') : row.directory;
         })),
         L"", 0},
        {utf8(head(table, 41) + L"\n" + tail(table, 41)), L"line 42" + stray, 2},
        {utf8(head(table, 11) + failure + tail(table, 11)), L"line 12" + stray, 2},
        {utf8(head(table, 11) + failure + L"\r\n"), L"incomplete, 10 of 78 rows", 2},
        {utf8(head(table, 1)), L"incomplete, 0 of 78 rows", 2},
        {utf8(crlf.substr(0, crlf.size() - 1)),
         L"incomplete, 77 of 78 rows: the last line has no line end", 2},
        {utf16.substr(0, utf16.find(std::string("p\0m\0p\0r\0o\0c", 11)) + 1),
         L"incomplete, 70 of 78 rows: UTF-16 text with an odd number of bytes", 2},
        {utf8(head(table, 4)) + "\xFF" + utf8(tail(table, 4)), L"line 5: not text", 2},
        {with_row(3, [](row_values& row) { row.directory += L'\0'; }), L"line 5: not text", 2},
        {with_row(2,
                  [](row_values& row) { row.directory = missing_text(program_files_directory); }),
         bad(4), 2},
        {with_row(2, [](row_values& row) { row.directory += L"\r"; }, L"\r\n"), bad(4), 2},
        {with_row(0, [](row_values& row) { row.directory += L"\x1b[2J"; }), bad(2), 2},
        {with_row(2, [](row_values& row) {
             row = {row.directory, 5, L"N/A", std::wstring(40, L'c')};
         }),
         bad(4), 2},
        {with_row(0, [](row_values& row) { row.size = 0; }), L"", 1},
        {with_row(0, [](row_values& row) { row.size = file_info::unmeasured; }), bad(2), 2},
        {with_row(0, [](row_values& row) { row.version = L"01.0.0.1"; }), bad(2), 2},
        {with_row(0, [](row_values& row) { row.version = L"1.0.0"; }), bad(2), 2},
        {with_row(0, [](row_values& row) { row.version = L"1.0.0.65536"; }), bad(2), 2},
        {with_row(0, [](row_values& row) { row.hash[39] = L'A'; }), bad(2), 2},
        {with_row(0, [](row_values& row) { row.hash.pop_back(); }), bad(2), 2},
        {utf8(before + L"pomnres_de" + renamed),
         L"line 2: expected pomnres_en.dll, found pomnres_de.dll", 2},
        {utf8(before + L"pomnres_xx" + renamed), L"line 2: unknown file name pomnres_xx.dll", 2},
        // Another drive, and the one missing location as it was.
        {utf8(utility_table(
             [](std::size_t, row_values& row) { row.directory[0] += row.directory[0] == L'C'; })),
         L"", 0, L"identical\n"},
        {utf8(utility_table([](std::size_t row, row_values& values) {
             if (manifest_rows()[row].location == program_files_x86_directory) {
                 values.directory = L"C:\\x86";
             }
         })),
         L"", 1,
         L"20 of 78 rows differ\n" +
             difference(en, program_files_x86_directory, L"location added")},
        {with_row(0, [](row_values& row) { row.version = L"2.0.0.0", row.size = 4294967296; }),
         L"", 1,
         one + difference(en, printer_driver_directory,
                          L"version 1.0.0.65535 -> 2.0.0.0, size 20480 -> 4294967296")},
        {with_row(3, [](row_values& row) { row.version = L"1.0.0.0"; }), L"", 1,
         one + difference(en, driver_package_directory, L"version N/A -> 1.0.0.0")},
    };
    const temp_folder folder(L"compare_reader");
    const std::wstring baseline = folder.write(L"base.txt", bytes);
    for (const auto& expected : cases) {
        SCOPED_TRACE("row " + std::to_string(&expected - cases));
        const std::wstring inventory = folder.write(L"inventory.txt", expected.bytes);
        const run_result result = run({baseline, inventory});
        const std::wstring line = inventory + L": " + expected.problem + L"\n";
        EXPECT_EQ(result.error, expected.problem.empty() ? L"" : line);
        EXPECT_EQ(result.exit_code, expected.exit_code) << expected.problem;
        if (const std::wstring verdict = inventory + L": " + expected.output; !expected.output.empty()) {
            EXPECT_EQ(result.out.substr(0, verdict.size()), verdict);
        }
    }
}

}  // namespace
