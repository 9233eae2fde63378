#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "saved_inventory.h"

namespace {

// The lab machine's table with `edit` done to the row at `index`.
std::wstring with_row(std::size_t index, void (*edit)(row_values&), const wchar_t* end = L"\n") {
    return utility_table([=](std::size_t at, row_values& row) { at == index ? edit(row) : void(); },
                         end);
}

// `table` with `line` put after its line `after`, or its first `after` lines.
std::wstring with_line(const std::wstring& table, std::size_t after, const std::wstring& line) {
    std::size_t at = 0;
    for (std::size_t count = 0; count < after; ++count) {
        at = table.find(L'\n', at) + 1;
    }
    return table.substr(0, at) + line;
}

std::wstring rest_after(const std::wstring& table, std::size_t lines) {
    return table.substr(with_line(table, lines, L"").size());
}

// Saved inventories, each whole file as bytes, and what the comparison with
// the lab machine's own table says: its line on standard error after "NAME: "
// (none for a sound one) and its exit code.
TEST(reader, reads_what_the_utility_writes_and_names_what_it_does_not) {
    const std::wstring table = utility_table();
    const std::string bytes = utf8(table);
    const std::wstring crlf = utility_table(nullptr, L"\r\n");
    const std::wstring failure = L"Failed to write the report to standard output. Error code: 0x00000070.\n";
    const std::wstring row_40 = with_line(table, 41, L"");
    const std::string utf16 = utf16le(crlf);
    const std::wstring columns = L": columns not as the utility writes them";
    const struct {
        std::string bytes;
        std::wstring problem;
        int exit_code;
    } cases[] = {
        {bytes, L"", 0},
        {"\xEF\xBB\xBF" + bytes + "\n\r\n", L"", 0},
        {"Pelmar \xA9 Omni \x81\r\n" + bytes, L"", 0},
        {utf16 + std::string("\n\0", 2), L"", 0},
        {bytes + std::string(16 * 1024 * 1024 - bytes.size(), '\n'), L"", 0},
        {bytes + std::string(16 * 1024 * 1024 + 1 - bytes.size(), '\n'), L"too large to be an inventory", 2},
        {"", L"empty file", 2},
        {"\xEF\xBB\xBF", L"empty file", 2},
        {"Failed to initialize COM.\n", L"not an inventory (no table header)", 2},
        {bytes + "x\ty", L"line 80: text after the table", 2},
        {bytes + std::string(64, '\0'), L"line 80: text after the table", 2},
        {bytes + "\n\xC0\xAF\n", L"line 81: text after the table", 2},
        {bytes + "copied by backup job\r\n", L"line 80: text after the table", 2},
        {bytes + "\r", L"line 80: text after the table", 2},
        {utf16 + "\n", L"line 80: text after the table", 2},
        {bytes + "x\ty\n", L"line 80: more rows than the manifest has", 2},
        {utf8(with_row(4, [](row_values& row) { row = lab_machine_row(7); })),
         L"line 6: folder differs from line 2 for the same location", 2},
        {utf8(with_row(5, [](row_values& row) { row = lab_machine_row(4); })),
         L"line 7: folder differs from line 3 for the same location", 2},
        {utf8(with_row(0, [](row_values& row) { row.directory = L"C:\\" + std::wstring(32765, L'x'); })),
         L"line 2" + columns, 2},
        {utf8(utility_table([](std::size_t, row_values& row) {
             row.directory = row.directory[0] == L'C' ? L"C:\\" + std::wstring(32764, L'x') : row.directory;
         })),
         L"", 0},
        {utf8(row_40 + L"\n" + rest_after(table, 41)), L"line 42: a line without columns inside the table", 2},
        {utf8(with_line(table, 11, failure) + rest_after(table, 11)), L"line 12: a line without columns inside the table", 2},
        {utf8(with_line(table, 11, failure + L"\r\n")), L"incomplete, 10 of 78 rows", 2},
        {utf8(with_line(table, 1, L"")), L"incomplete, 0 of 78 rows", 2},
        {utf8(table.substr(0, table.size() - 8)), L"incomplete, 77 of 78 rows: the last line has no line end", 2},
        {utf8(crlf.substr(0, crlf.size() - 1)), L"incomplete, 77 of 78 rows: the last line has no line end", 2},
        {utf8(with_line(table, 3, L"") + table.substr(with_line(table, 3, L"").size(), 150)),
         L"incomplete, 2 of 78 rows: the last line has no line end", 2},
        {utf16.substr(0, utf16.find(std::string("p\0m\0p\0r\0o\0c", 11)) + 1),
         L"incomplete, 70 of 78 rows: UTF-16 text with an odd number of bytes", 2},
        {utf8(with_line(table, 4, L"") ) + "\xFF" + utf8(rest_after(table, 4)), L"line 5: not text", 2},
        {utf8(with_row(3, [](row_values& row) { row.directory += L'\0'; })), L"line 5: not text", 2},
        {utf8(with_row(2, [](row_values& row) { row.directory = missing_text(program_files_directory); })),
         L"line 4" + columns, 2},
        {utf8(with_row(2, [](row_values& row) { row.directory += L"\r"; }, L"\r\n")), L"line 4" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.directory += L"\x1b[2J"; })), L"line 2" + columns, 2},
        {utf8(with_row(2, [](row_values& row) { row = {row.directory, 512, L"N/A", std::wstring(40, L'c')}; })),
         L"line 4" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.size = 0; })), L"", 1},
        {utf8(with_row(0, [](row_values& row) { row.version = L"01.0.0.1"; })), L"line 2" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.version = L"1.0.0"; })), L"line 2" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.version = L"1.0.0.65536"; })), L"line 2" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.hash[39] = L'A'; })), L"line 2" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.hash.pop_back(); })), L"line 2" + columns, 2},
        {utf8(with_row(0, [](row_values& row) { row.size = file_info::unmeasured; })), L"line 2" + columns, 2},
        {utf8(table.substr(0, table.find(L"pomnres_en")) + L"pomnres_de" + table.substr(table.find(L"pomnres_en") + 10)),
         L"line 2: expected pomnres_en.dll, found pomnres_de.dll", 2},
        {utf8(table.substr(0, table.find(L"pomnres_en")) + L"pomnres_xx" + table.substr(table.find(L"pomnres_en") + 10)),
         L"line 2: unknown file name pomnres_xx.dll", 2},
    };
    const temp_folder folder(L"compare_reader");
    const std::wstring baseline = folder.write(L"base.txt", bytes);
    for (const auto& expected : cases) {
        const std::wstring inventory = folder.write(L"inventory.txt", expected.bytes);
        const run_result result = run({baseline, inventory});
        EXPECT_EQ(result.errors, expected.problem.empty() ? L"" : inventory + L": " + expected.problem + L"\n");
        EXPECT_EQ(result.exit_code, expected.exit_code) << expected.problem;
    }
}

}  // namespace
