#include "inventory_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include <windows.h>

#include "file_info.h"
#include "file_manifest.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "table_layout.h"

namespace {

constexpr std::wstring_view not_inspected = L"--";
constexpr std::wstring_view no_version = L"N/A";
constexpr std::wstring_view missing_prefix = L"<Missing ";
constexpr std::wstring_view bad_columns = L"columns not as the utility writes them";
constexpr std::size_t none = std::string_view::npos;

// One past the line feed that ends the line at `start`, or none when the
// line has no end.
std::size_t line_end(std::string_view bytes, std::size_t start, bool utf16) {
    if (!utf16) {
        const std::size_t line_feed = bytes.find('\n', start);
        return line_feed == none ? none : line_feed + 1;
    }
    for (std::size_t at = start; at + 1 < bytes.size(); at += 2) {
        if (bytes[at] == '\n' && bytes[at + 1] == '\0') {
            return at + 2;
        }
    }
    return none;
}

// Appends the UTF-8 or UTF-16LE `bytes` decoded to `text`; false where they
// are not well-formed text or hold a NUL, which marks binary data.
bool append_decoded(std::string_view bytes, bool utf16, std::wstring& text) {
    const std::size_t start = text.size();
    if (utf16) {
        text.resize(start + bytes.size() / 2);
        std::memcpy(text.data() + start, bytes.data(), bytes.size());
    } else {
        text.resize(start + bytes.size());
        text.resize(start + static_cast<std::size_t>(MultiByteToWideChar(
                                CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                static_cast<int>(bytes.size()), text.data() + start,
                                static_cast<int>(bytes.size()))));
    }
    const std::wstring_view added = std::wstring_view(text).substr(start);
    // An unpaired surrogate does not convert to UTF-8.
    return !added.empty() && added.find(L'\0') == none &&
           (!utf16 || WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, added.data(),
                                          static_cast<int>(added.size()), nullptr, 0, nullptr,
                                          nullptr) > 0);
}

// A decimal number as the utility writes one: digits without a leading zero,
// at most `limit`.
bool parse_number(std::wstring_view text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || (text.size() > 1 && text[0] == L'0')) {
        return false;
    }
    value = 0;
    for (const wchar_t digit : text) {
        const auto next = static_cast<std::uint64_t>(digit - L'0');
        if (digit < L'0' || digit > L'9' || value > (limit - next) / 10) {
            return false;
        }
        value = value * 10 + next;
    }
    return true;
}

bool is_hash(std::wstring_view text) {
    return text.size() == table_layout::hash_width &&
           text.find_first_not_of(L"0123456789abcdef") == none;
}

// a.b.c.d, each part 0..65535.
bool is_version(std::wstring_view text) {
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find(L'.');
        std::uint64_t value = 0;
        if ((dot == none) != (part == 3) || !parse_number(text.substr(0, dot), 65535, value)) {
            return false;
        }
        text.remove_prefix(dot == none ? text.size() : dot + 1);
    }
    return true;
}

// The value in a column that the utility padded with spaces to `width` on
// the right (`left_aligned`) or on the left; empty when the column is no
// such padding of a value.
std::wstring_view unpadded(std::wstring_view column, std::size_t width, bool left_aligned) {
    const std::size_t first = left_aligned ? 0 : column.find_first_not_of(L' ');
    const std::size_t last = left_aligned ? column.find_last_not_of(L' ') : column.size() - 1;
    if (first == none || last == none) {
        return {};
    }
    const std::wstring_view value = column.substr(first, last + 1 - first);
    return column.size() == std::max(width, value.size()) ? value : std::wstring_view();
}

// Why `line` is not the row the utility writes for `expected`, or empty when
// it is one; then `row` holds its values.
std::wstring check_row(std::wstring_view line, const manifest_row& expected, inventory_row& row) {
    using namespace table_layout;
    std::array<std::wstring_view, 5> columns;
    for (std::size_t column = 0; column + 1 < columns.size(); ++column) {
        const std::size_t tab = line.find(separator);
        if (tab == none) {
            return std::wstring(bad_columns);
        }
        columns[column] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    const std::wstring_view hash = unpadded(columns[0], hash_width, true);
    const std::wstring_view size = unpadded(columns[1], size_width, false);
    const std::wstring_view version = unpadded(columns[2], version_width, true);
    const std::wstring_view file_name = unpadded(columns[3], file_name_width, true);
    const std::wstring_view directory = line;

    // Either the file was inspected and all three values are known, or none
    // is; a location that does not exist has no files to inspect.
    const std::wstring_view missing = missing_text(expected.location);
    row.location_exists = directory != missing;
    row.file_present = hash != not_inspected;
    const bool valid =
        row.file_present
            ? row.location_exists && is_hash(hash) &&
                  parse_number(size, file_info::unmeasured - 1, row.size) &&
                  (version == no_version || is_version(version))
            : size == not_inspected && version == not_inspected;
    const bool directory_valid =
        !row.location_exists ||
        (!directory.empty() && !directory.starts_with(missing_prefix) &&
         std::none_of(directory.begin(), directory.end(), [](wchar_t c) { return c < L' '; }));
    if (!valid || !directory_valid || file_name.empty()) {
        return std::wstring(bad_columns);
    }
    if (file_name != expected.entry->file_name) {
        const bool known = std::any_of(file_manifest.begin(), file_manifest.end(),
                                       [file_name](const manifest_entry& entry) {
                                           return entry.file_name == file_name;
                                       });
        return known ? L"expected " + expected.entry->file_name + L", found " +
                           std::wstring(file_name)
                     : L"unknown file name " + std::wstring(file_name);
    }
    if (row.file_present) {
        row.version = version;
        row.hash = hash;
    }
    return {};
}

const std::wstring& table_header() {
    static const std::wstring header = [] {
        std::wostringstream text;
        print_header(text);
        return text.str();
    }();
    return header;
}

}  // namespace

void read_inventory(std::string_view bytes, inventory& into) {
    into.rows.clear();
    into.text.clear();
    into.result = inventory::outcome::unusable;
    const auto at_line = [](std::size_t number, std::wstring_view problem) {
        return L"line " + std::to_wstring(number) + L": " + std::wstring(problem);
    };
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    bytes.remove_prefix(utf16 ? 2 : bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    if (bytes.empty()) {
        into.problem = L"empty file";
        return;
    }
    // The rows point into the text: it must never move.
    into.text.reserve(bytes.size());

    const std::vector<manifest_row>& expected = manifest_rows();
    bool in_table = false;
    bool ended_early = false;
    std::size_t start = 0;
    // The utility ends every line, its last row's too: a text that ends in a
    // line without its end, or in half a UTF-16 unit, was cut off there. That
    // last line is never read.
    for (std::size_t number = 1, end; (end = line_end(bytes, start, utf16)) != none; ++number) {
        const std::size_t text_start = into.text.size();
        if (!append_decoded(bytes.substr(start, end - start), utf16, into.text)) {
            into.rows.clear();
            into.problem = at_line(number, L"not text");
            return;
        }
        start = end;
        std::wstring_view line(into.text.data() + text_start, into.text.size() - text_start - 1);
        if (line.ends_with(L'\r')) {
            line.remove_suffix(1);
        }
        const bool row_like = line.find(table_layout::separator) != none;
        std::wstring problem;
        if (!in_table) {
            // The banner (after 2>&1) and PowerShell's rendering of the
            // error stream come first.
            in_table = line == table_header();
        } else if (into.rows.size() == expected.size()) {
            problem = row_like ? L"more rows than the manifest has" : L"";
        } else if (!row_like || ended_early) {
            // A line without a tab is no row: a failure line ends the table.
            ended_early = true;
        } else {
            const manifest_row& names = expected[into.rows.size()];
            problem = check_row(line, names, into.rows.emplace_back());
        }
        if (!problem.empty()) {
            into.rows.clear();
            into.problem = at_line(number, problem);
            return;
        }
    }

    if (!in_table) {
        into.problem = L"not an inventory (no table header)";
    } else if (into.rows.size() == expected.size()) {
        into.result = inventory::outcome::complete;
        into.problem.clear();
    } else {
        into.result = inventory::outcome::incomplete;
        into.problem = L"incomplete, " + std::to_wstring(into.rows.size()) + L" of " +
                       std::to_wstring(expected.size()) + L" rows";
        if (!ended_early && start < bytes.size()) {
            into.problem += utf16 && bytes.size() % 2 != 0
                                ? L": UTF-16 text with an odd number of bytes"
                                : L": the last line has no line end";
        }
    }
}
