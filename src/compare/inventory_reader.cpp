#include "inventory_reader.h"

#include <algorithm>
#include <array>

#include "error_code_text.h"
#include "file_info.h"
#include "file_manifest.h"
#include "missing_text.h"
#include "table_layout.h"

namespace {

constexpr std::wstring_view not_inspected = L"--";
constexpr std::wstring_view no_version = L"N/A";
constexpr std::size_t sha1_hex_digits = 40;
constexpr std::wstring_view bad_columns = L"columns not as the utility writes them";

std::wstring_view trim_right(std::wstring_view text) {
    const std::size_t end = text.find_last_not_of(L' ');
    return text.substr(0, end == std::wstring_view::npos ? 0 : end + 1);
}

std::wstring_view trim_left(std::wstring_view text) {
    const std::size_t start = text.find_first_not_of(L' ');
    return start == std::wstring_view::npos ? std::wstring_view() : text.substr(start);
}

bool is_digit(wchar_t character) {
    return character >= L'0' && character <= L'9';
}

bool is_hash(std::wstring_view text) {
    return text.size() == sha1_hex_digits &&
           std::all_of(text.begin(), text.end(), [](wchar_t character) {
               return is_digit(character) || (character >= L'a' && character <= L'f');
           });
}

// A decimal number without sign; false when empty, not digits or too large.
bool parse_number(std::wstring_view text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), is_digit)) {
        return false;
    }
    value = 0;
    for (const wchar_t digit : text) {
        const auto next = static_cast<std::uint64_t>(digit - L'0');
        if (value > (limit - next) / 10) {
            return false;
        }
        value = value * 10 + next;
    }
    return true;
}

// a.b.c.d, each part 0..65535 in the utility's spelling: no leading zeros.
bool is_version(std::wstring_view text) {
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find(L'.');
        if ((dot == std::wstring_view::npos) != (part == 3)) {
            return false;
        }
        const std::wstring_view number = text.substr(0, dot);
        std::uint64_t value = 0;
        if (!parse_number(number, 65535, value) || (number.size() > 1 && number[0] == L'0')) {
            return false;
        }
        text.remove_prefix(dot == std::wstring_view::npos ? text.size() : dot + 1);
    }
    return true;
}

bool in_manifest(std::wstring_view file_name) {
    return std::any_of(
        file_manifest.begin(), file_manifest.end(),
        [file_name](const manifest_entry& entry) { return entry.file_name == file_name; });
}

std::wstring at_line(std::size_t line_number, std::wstring_view problem) {
    return L"line " + std::to_wstring(line_number) + L": " + std::wstring(problem);
}

}  // namespace

inventory_reader::inventory_reader() : checked_(manifest_rows().size()) {
    std::wostringstream header;
    print_header(header);
    header_ = header.str();
}

inventory_reading inventory_reader::read(HANDLE file, std::vector<inventory_row>& rows) {
    enum class section { before_header, table, after_table, ended_early };
    const std::vector<manifest_row>& expected = manifest_rows();
    rows.resize(expected.size());
    lines_.start(file);

    section at = section::before_header;
    std::size_t count = 0;
    std::wstring_view line;
    while (lines_.next_line(line)) {
        switch (at) {
            case section::before_header:
                // The banner (after 2>&1) and PowerShell's rendering of the
                // error stream come first.
                if (line == header_) {
                    at = section::table;
                }
                break;
            case section::table: {
                // A line without a tab is no row: a failure line ends the table.
                if (line.find(table_layout::separator) == std::wstring_view::npos) {
                    at = section::ended_early;
                    break;
                }
                const std::wstring problem = parse_row(line, count, rows[count]);
                if (!problem.empty()) {
                    // A last line cut short is where a saved table was cut off.
                    if (!lines_.line_ended()) {
                        at = section::ended_early;
                        break;
                    }
                    return {inventory_reading::outcome::unusable, count,
                            at_line(lines_.line_number(), problem)};
                }
                if (++count == expected.size()) {
                    at = section::after_table;
                }
                break;
            }
            case section::after_table:
                if (line.find(table_layout::separator) != std::wstring_view::npos) {
                    return {inventory_reading::outcome::unusable, count,
                            at_line(lines_.line_number(), L"more rows than the manifest has")};
                }
                break;
            case section::ended_early:
                break;
        }
    }

    const auto unusable = [count](std::wstring problem) {
        return inventory_reading{inventory_reading::outcome::unusable, count, std::move(problem)};
    };
    switch (lines_.stopped_by()) {
        case line_reader::problem::none:
            break;
        case line_reader::problem::read_failed:
            return unusable(cannot_be_read(lines_.error_code()));
        case line_reader::problem::too_large:
            return unusable(L"too large to be an inventory");
        case line_reader::problem::not_text:
            return unusable(at_line(lines_.line_number(), L"not text"));
        case line_reader::problem::odd_utf16:
            return unusable(L"UTF-16 text with an odd number of bytes");
        case line_reader::problem::line_too_long:
            return unusable(at_line(lines_.line_number(), L"line too long"));
    }
    if (at == section::before_header) {
        return unusable(lines_.any_text() ? L"not an inventory (no table header)" : L"empty file");
    }
    if (count < expected.size()) {
        return {inventory_reading::outcome::incomplete, count,
                L"incomplete, " + std::to_wstring(count) + L" of " +
                    std::to_wstring(expected.size()) + L" rows"};
    }
    return {inventory_reading::outcome::complete, count, {}};
}

std::wstring inventory_reader::parse_row(std::wstring_view line, std::size_t index,
                                         inventory_row& row) {
    const checked_columns& known = checked_[index];
    const std::size_t directory_start = known.text.size();
    if (directory_start > 0 && line.starts_with(known.text) &&
        line.find(table_layout::separator, directory_start) == std::wstring_view::npos) {
        row.file_present = known.values.file_present;
        row.size = known.values.size;
        row.version.assign(known.values.version);
        row.hash.assign(known.values.hash);
        row.location_exists =
            line.substr(directory_start) != missing_text(manifest_rows()[index].location);
        return {};
    }
    std::wstring problem = check_columns(line, index, row);
    if (problem.empty()) {
        checked_columns& checked = checked_[index];
        checked.text.assign(line.substr(0, line.rfind(table_layout::separator) + 1));
        checked.values = row;
    }
    return problem;
}

std::wstring inventory_reader::check_columns(std::wstring_view line, std::size_t index,
                                             inventory_row& row) {
    const manifest_row& expected = manifest_rows()[index];
    std::array<std::wstring_view, 5> columns;
    std::size_t start = 0;
    for (std::size_t column = 0; column + 1 < columns.size(); ++column) {
        const std::size_t tab = line.find(table_layout::separator, start);
        if (tab == std::wstring_view::npos) {
            return std::wstring(bad_columns);
        }
        columns[column] = line.substr(start, tab - start);
        start = tab + 1;
    }
    columns.back() = line.substr(start);
    if (columns.back().find(table_layout::separator) != std::wstring_view::npos) {
        return std::wstring(bad_columns);
    }

    const std::wstring_view hash = trim_right(columns[0]);
    const std::wstring_view size_text = trim_left(columns[1]);
    const std::wstring_view version = trim_right(columns[2]);
    const std::wstring_view file_name = trim_right(columns[3]);
    const std::wstring_view directory = columns[4];

    // Either the file was inspected and all three values are known, or none is.
    const bool present = hash != not_inspected;
    std::uint64_t size = file_info::unmeasured;
    const bool valid = present ? is_hash(hash) &&
                                     parse_number(size_text, file_info::unmeasured - 1, size) &&
                                     (version == no_version || is_version(version))
                               : size_text == not_inspected && version == not_inspected;
    // Rendering the values back checks every width, pad and alignment.
    if (!valid || !renders_as(line, directory, file_name, size, version, hash)) {
        return std::wstring(bad_columns);
    }

    if (file_name != expected.entry->file_name) {
        if (in_manifest(file_name)) {
            return L"expected " + expected.entry->file_name + L", found " + std::wstring(file_name);
        }
        return L"unknown file name " + std::wstring(file_name);
    }

    row.location_exists = directory != missing_text(expected.location);
    row.file_present = present;
    row.size = size;
    row.version.assign(version);
    row.hash.assign(hash);
    return {};
}

bool inventory_reader::renders_as(std::wstring_view line, std::wstring_view directory,
                                  std::wstring_view file_name, std::uint64_t size,
                                  std::wstring_view version, std::wstring_view hash) {
    rendered_.seekp(0);
    print_row(rendered_, file_info(std::wstring(directory), std::wstring(file_name), size,
                                   std::wstring(version), std::wstring(hash)));
    const auto length = static_cast<std::size_t>(rendered_.tellp());
    return rendered_.view().substr(0, length) == line;
}

std::wstring cannot_be_read(std::uint32_t error_code) {
    return L"cannot be read. " + error_code_text(error_code);
}
