#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// One line of JSON Lines, for the programs' --json output: an object whose
// members are written in the order they are added, then a line feed. The
// programs write it through the console output, as UTF-8 without a byte
// order mark, with line ends kept as line feeds (keep_line_feeds).
// Strings are escaped as RFC 8259 requires, and beyond it every hidden
// character and every unpaired surrogate is written as \uXXXX: a name
// someone chose never ends a record, turns the text around it into a
// look-alike, or reaches a parser as bytes that are not UTF-8.
class json_line {
public:
    // `key`: a name of this program's, in plain ASCII.
    json_line& text(std::string_view key, std::wstring_view value);
    // null where there is no value.
    json_line& text_or_null(std::string_view key, std::optional<std::wstring_view> value);
    json_line& number(std::string_view key, std::uint64_t value);
    json_line& number_or_null(std::string_view key, std::optional<std::uint64_t> value);

    // The object and its line feed.
    void write(std::wostream& out) const;

private:
    void add_key(std::string_view key);

    std::wstring members_;
};

// `value` as a JSON string, quotes included.
[[nodiscard]] std::wstring json_string(std::wstring_view value);
