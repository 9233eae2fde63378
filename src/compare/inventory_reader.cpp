#include "inventory_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

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

// Decodes well-formed UTF-8 as the Unicode standard defines it (no overlong
// forms, no surrogates, nothing beyond U+10FFFF) and without NUL, which marks
// binary data. Returns where the first byte that breaks that is, or none.
std::size_t decode_utf8(std::string_view bytes, std::wstring& text) {
    text.resize(bytes.size());
    wchar_t* out = text.data();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t count = bytes.size();
    std::size_t next = 0;
    while (next < count) {
        const unsigned lead = in[next];
        if (lead >= 0x01 && lead <= 0x7F) {
            *out++ = static_cast<wchar_t>(lead);
            ++next;
            continue;
        }
        std::size_t length = 0;
        unsigned code = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return next;
        }
        for (std::size_t index = 1; index < length; ++index) {
            const unsigned byte = next + index < count ? in[next + index] : 0;
            if (byte < (index == 1 ? low : 0x80) || byte > (index == 1 ? high : 0xBF)) {
                return next;
            }
            code = (code << 6) | (byte & 0x3F);
        }
        if (code >= 0x10000) {
            *out++ = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            *out++ = static_cast<wchar_t>(code);
        }
        next += length;
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
    return none;
}

// Where the first NUL or unpaired surrogate of UTF-16 `text` is, or none.
std::size_t check_utf16(std::wstring_view text) {
    for (std::size_t index = 0; index < text.size(); ++index) {
        const wchar_t unit = text[index];
        if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            return index;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (index + 1 == text.size() || text[index + 1] < 0xDC00 || text[index + 1] > 0xDFFF) {
                return index;
            }
            ++index;
        }
    }
    return none;
}

bool is_digit(wchar_t character) {
    return character >= L'0' && character <= L'9';
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
        if (!is_digit(digit) || value > (limit - next) / 10) {
            return false;
        }
        value = value * 10 + next;
    }
    return true;
}

bool is_hash(std::wstring_view text) {
    return text.size() == table_layout::hash_width &&
           std::all_of(text.begin(), text.end(), [](wchar_t character) {
               return is_digit(character) || (character >= L'a' && character <= L'f');
           });
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

bool in_manifest(std::wstring_view file_name) {
    return std::any_of(
        file_manifest.begin(), file_manifest.end(),
        [file_name](const manifest_entry& entry) { return entry.file_name == file_name; });
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
        return in_manifest(file_name)
                   ? L"expected " + expected.entry->file_name + L", found " + std::wstring(file_name)
                   : L"unknown file name " + std::wstring(file_name);
    }
    row.version = row.file_present ? version : std::wstring_view();
    row.hash = row.file_present ? hash : std::wstring_view();
    row.size = row.file_present ? row.size : 0;
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
    into.problem.clear();
    into.result = inventory::outcome::unusable;
    const auto at_line = [](std::size_t number, std::wstring_view problem) {
        return L"line " + std::to_wstring(number) + L": " + std::wstring(problem);
    };

    // The utility ends every line, its last row's too: a text that ends in a
    // line without its end, or in half a UTF-16 unit, was cut off there. That
    // last line is never read.
    std::wstring_view cut = L"the last line has no line end";
    bool cut_off = false;
    std::size_t not_text = none;
    std::size_t not_text_line = 1;
    if (bytes.starts_with("\xFF\xFE")) {
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0) {
            bytes.remove_suffix(1);
            cut = L"UTF-16 text with an odd number of bytes";
            cut_off = true;
        }
        into.text.resize(bytes.size() / 2);
        std::memcpy(into.text.data(), bytes.data(), bytes.size());
        const std::size_t end = into.text.rfind(L'\n') + 1;
        cut_off = cut_off || end < into.text.size();
        into.text.resize(end);
        not_text = check_utf16(into.text);
        if (not_text != none) {
            not_text_line += std::count(into.text.begin(), into.text.begin() + not_text, L'\n');
        }
    } else {
        if (bytes.starts_with("\xEF\xBB\xBF")) {
            bytes.remove_prefix(3);
        }
        const std::size_t end = bytes.rfind('\n') + 1;
        cut_off = end < bytes.size();
        not_text = decode_utf8(bytes.substr(0, end), into.text);
        if (not_text != none) {
            not_text_line += std::count(bytes.begin(), bytes.begin() + not_text, '\n');
        }
    }
    if (bytes.empty()) {
        into.problem = L"empty file";
        return;
    }
    if (not_text != none) {
        into.problem = at_line(not_text_line, L"not text");
        return;
    }

    const std::vector<manifest_row>& expected = manifest_rows();
    enum class section { before_header, table, after_table, ended_early } at = section::before_header;
    std::size_t number = 0;
    for (std::size_t start = 0; start < into.text.size() && at != section::ended_early;) {
        const std::size_t end = into.text.find(L'\n', start);
        std::wstring_view line(into.text.data() + start, end - start);
        start = end + 1;
        ++number;
        if (line.ends_with(L'\r')) {
            line.remove_suffix(1);
        }
        const bool row_like = line.find(table_layout::separator) != none;
        switch (at) {
            case section::before_header:
                // The banner (after 2>&1) and PowerShell's rendering of the
                // error stream come first.
                at = line == table_header() ? section::table : at;
                break;
            case section::table: {
                // A line without a tab is no row: a failure line ends the table.
                if (!row_like) {
                    at = section::ended_early;
                    break;
                }
                inventory_row& row = into.rows.emplace_back();
                if (std::wstring problem = check_row(line, expected[into.rows.size() - 1], row);
                    !problem.empty()) {
                    into.rows.pop_back();
                    into.problem = at_line(number, problem);
                    return;
                }
                at = into.rows.size() == expected.size() ? section::after_table : at;
                break;
            }
            case section::after_table:
                if (row_like) {
                    into.problem = at_line(number, L"more rows than the manifest has");
                    return;
                }
                break;
            case section::ended_early:
                break;
        }
    }

    if (at == section::before_header) {
        into.problem = L"not an inventory (no table header)";
    } else if (at == section::after_table) {
        into.result = inventory::outcome::complete;
    } else {
        into.result = inventory::outcome::incomplete;
        into.problem = L"incomplete, " + std::to_wstring(into.rows.size()) + L" of " +
                       std::to_wstring(expected.size()) + L" rows";
        if (at == section::table && cut_off) {
            into.problem += L": " + std::wstring(cut);
        }
    }
}
