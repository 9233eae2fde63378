#include "inventory_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <sstream>
#include <type_traits>

#include "file_info.h"
#include "file_manifest.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "table_layout.h"
#include "text.h"

namespace pelmar::compare {

namespace {

constexpr std::size_t none = std::string_view::npos;
constexpr std::wstring_view bad_columns = L"columns not as the utility writes them";

// The saved text, UTF-8 in bytes or UTF-16LE in its units, in which the
// table's layout is found before anything is decoded.
template <typename unit>
struct saved_text {
    std::basic_string_view<unit> text;
    bool odd_byte;  // UTF-16LE cut within its last unit

    // One past the line feed that ends the line at `start`; none when it has no end.
    std::size_t line_end(std::size_t start) const {
        const std::size_t feed = text.find(unit{'\n'}, start);
        return feed == none ? none : feed + 1;
    }
    // The line from `start` to `end` without its line end, LF or CR LF.
    std::basic_string_view<unit> line(std::size_t start, std::size_t end) const {
        const std::basic_string_view<unit> line = text.substr(start, end - 1 - start);
        return line.substr(0, line.size() - (line.ends_with(unit{'\r'}) ? 1 : 0));
    }
    // Where the first line from `at` on that is not empty starts, counting
    // lines in `number`; none when only empty lines follow, up to the end.
    std::size_t first_filled_line(std::size_t at, std::size_t& number) const {
        for (std::size_t end; (end = line_end(at)) != none && line(at, end).empty(); at = end) {
            ++number;
        }
        return at == text.size() && !odd_byte ? none : at;
    }
};

// `saved` decoded into `text`; false where it is not well-formed text: no
// NUL, which marks binary data, and no unpaired surrogate, which does not
// convert to UTF-8.
template <typename unit>
bool decode(std::basic_string_view<unit> saved, std::wstring& text) {
    if constexpr (std::is_same_v<unit, wchar_t>) {
        text = saved;
    } else {
        std::optional<std::wstring> decoded = win::from_utf8(saved);
        if (!decoded) {
            return false;
        }
        text = std::move(*decoded);
    }
    return text.find(L'\0') == none && win::has_utf8_form(text);
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
    const std::wstring_view value =
        left_aligned ? column.substr(0, column.find_last_not_of(L' ') + 1)
                     : column.substr(std::min(column.find_first_not_of(L' '), column.size()));
    return column.size() == std::max(width, value.size()) ? value : std::wstring_view();
}

// Why `line` is not the row the utility writes for `expected`, or empty when
// it is one; then `row` holds its values and `folder` its folder text.
std::wstring check_row(std::wstring_view line, const manifest_row& expected, inventory_row& row,
                       std::wstring_view& folder) {
    using namespace table_layout;
    std::array<std::wstring_view, 4> columns;
    for (std::wstring_view& column : columns) {
        const std::size_t tab = line.find(separator);
        if (tab == none) {
            return std::wstring(bad_columns);
        }
        column = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    const std::wstring_view hash = unpadded(columns[0], hash_width, true);
    const std::wstring_view size = unpadded(columns[1], size_width, false);
    const std::wstring_view version = unpadded(columns[2], version_width, true);
    const std::wstring_view file_name = unpadded(columns[3], file_name_width, true);
    folder = line;

    // Either the file was inspected and all three values are known, or none
    // is; a location that does not exist has no files to inspect.
    row.location_exists = folder != missing_text(expected.location);
    row.file_present = hash != file_info::not_inspected;
    const bool valid =
        row.file_present
            ? row.location_exists && hash.size() == hash_width &&
                  hash.find_first_not_of(L"0123456789abcdef") == none &&
                  parse_number(size, file_info::unmeasured - 1, row.size) &&
                  (version == file_info::no_version || is_version(version))
            : size == file_info::not_inspected && version == file_info::not_inspected;
    const bool folder_valid =
        !row.location_exists ||
        // No Windows path is longer than 32,767 characters.
        (!folder.empty() && folder.size() <= 32767 && !folder.starts_with(missing_prefix) &&
         std::none_of(folder.begin(), folder.end(), [](wchar_t c) { return c < L' '; }));
    if (!valid || !folder_valid || file_name.empty()) {
        return std::wstring(bad_columns);
    }
    if (file_name != expected.entry->file_name) {
        const bool known = std::ranges::find(file_manifest, file_name,
                                             &manifest_entry::file_name) != file_manifest.end();
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

template <typename unit>
void read_table(const saved_text<unit>& saved, inventory& into) {
    const auto at_line = [&into](std::size_t number, std::wstring_view problem) {
        into.rows.clear();
        into.problem = L"line " + std::to_wstring(number) + L": " + std::wstring(problem);
    };
    if (saved.text.empty() && !saved.odd_byte) {
        into.problem = L"empty file";
        return;
    }
    // Title lines come first: the banner (after 2>&1), PowerShell's rendering
    // of the error stream, a batch file's echo in the console's code page.
    // They are skipped without being decoded.
    // The header is ASCII: a byte beyond it is never equal to one of its characters.
    static const std::wstring header = [] {
        std::wostringstream text;
        print_header(text);
        return text.str();
    }();
    std::size_t number = 1;
    std::size_t start = 0;
    std::size_t end = 0;
    for (; (end = saved.line_end(start)) != none &&
           !std::ranges::equal(saved.line(start, end), header);
         start = end) {
        ++number;
    }
    if (end == none) {
        into.problem = L"not an inventory (no table header)";
        return;
    }

    // The lines that should be the rows, each with its end, decoded at once.
    // The utility ends every line: one without its end, or half a UTF-16
    // unit, was cut off there, and is never read.
    const std::vector<manifest_row>& expected = manifest_rows();
    const std::size_t table = end;
    std::vector<std::size_t> ends;
    for (start = table; ends.size() < expected.size() && (end = saved.line_end(start)) != none;
         start = end) {
        ends.push_back(end);
    }
    if (!decode(saved.text.substr(table, start - table), into.text)) {
        std::wstring line;
        std::size_t bad = 0;
        for (std::size_t at = table; decode(saved.text.substr(at, ends[bad] - at), line);) {
            at = ends[bad++];
        }
        return at_line(number + 1 + bad, L"not text");
    }

    // Each location's first row: its line number and folder text.
    std::array<std::pair<std::size_t, std::wstring_view>, location_names.size()> folders{};
    std::wstring_view text = into.text;
    bool ended_early = false;
    for (std::size_t index = 0; index < ends.size() && !ended_early; ++index) {
        ++number;
        std::wstring_view line = text.substr(0, text.find(L'\n'));
        text.remove_prefix(line.size() + 1);
        line.remove_suffix(line.ends_with(L'\r') ? 1 : 0);
        if (std::size_t after = number + 1; line.find(table_layout::separator) == none) {
            // The utility's failure line (saved with 2>&1) ends its table,
            // and nothing comes after it.
            if (saved.first_filled_line(ends[index], after) != none) {
                return at_line(number, L"a line without columns inside the table");
            }
            ended_early = true;
            continue;
        }
        const manifest_row& names = expected[index];
        std::wstring_view folder;
        if (const std::wstring problem = check_row(line, names, into.rows.emplace_back(), folder);
            !problem.empty()) {
            return at_line(number, problem);
        }
        // The utility writes one folder text per location.
        auto& [first_line, first_folder] = folders[location_index(names.location)];
        if (first_line == 0) {
            first_line = number;
            first_folder = folder;
        } else if (folder != first_folder) {
            return at_line(number, L"folder differs from line " + std::to_wstring(first_line) +
                                       L" for the same location");
        }
    }

    if (into.rows.size() == expected.size()) {
        if (const std::size_t at = saved.first_filled_line(start, ++number); at != none) {
            const std::size_t next = saved.line_end(at);
            const bool columns =
                next != none && saved.text.substr(at, next - at).find(unit{'\t'}) != none;
            return at_line(number,
                           columns ? L"more rows than the manifest has" : L"text after the table");
        }
        into.problem.clear();
        return;
    }
    into.problem = L"incomplete, " + std::to_wstring(into.rows.size()) + L" of " +
                   std::to_wstring(expected.size()) + L" rows";
    if (!ended_early && (start < saved.text.size() || saved.odd_byte)) {
        into.problem += saved.odd_byte ? L": UTF-16 text with an odd number of bytes"
                                       : L": the last line has no line end";
    }
}

}  // namespace

void read_inventory(std::string_view bytes, inventory& into) {
    into.rows.clear();
    if (bytes.starts_with("\xFF\xFE")) {
        // The units copied out: the bytes need not be aligned for them.
        std::wstring units((bytes.size() - 2) / 2, L'\0');
        std::memcpy(units.data(), bytes.data() + 2, units.size() * 2);
        read_table(saved_text<wchar_t>{units, bytes.size() % 2 != 0}, into);
    } else {
        bytes.remove_prefix(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
        read_table(saved_text<char>{bytes, false}, into);
    }
}

}  // namespace pelmar::compare
