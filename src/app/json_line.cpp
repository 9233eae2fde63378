#include "json_line.h"

#include <cwchar>

#include "hidden_character.h"

namespace {

bool is_high_surrogate(wchar_t character) {
    return character >= 0xD800 && character <= 0xDBFF;
}

bool is_low_surrogate(wchar_t character) {
    return character >= 0xDC00 && character <= 0xDFFF;
}

}  // namespace

std::wstring json_string(std::wstring_view value) {
    std::wstring quoted = L"\"";
    for (std::size_t index = 0; index < value.size(); ++index) {
        const wchar_t character = value[index];
        const bool paired_high = is_high_surrogate(character) && index + 1 < value.size() &&
                                 is_low_surrogate(value[index + 1]);
        if (paired_high) {
            quoted.append(value.substr(index++, 2));
        } else if (character == L'"' || character == L'\\') {
            quoted.append(1, L'\\').append(1, character);
        } else if (is_hidden_character(character) || is_high_surrogate(character) ||
                   is_low_surrogate(character)) {
            wchar_t escaped[7];
            std::swprintf(escaped, 7, L"\\u%04X", static_cast<unsigned>(character));
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + L'"';
}

void json_line::add_key(std::string_view key) {
    members_ += members_.empty() ? L"\"" : L",\"";
    members_.append(key.begin(), key.end());
    members_ += L"\":";
}

json_line& json_line::text(std::string_view key, std::wstring_view value) {
    add_key(key);
    members_ += json_string(value);
    return *this;
}

json_line& json_line::text_or_null(std::string_view key,
                                   std::optional<std::wstring_view> value) {
    if (value) {
        return text(key, *value);
    }
    add_key(key);
    members_ += L"null";
    return *this;
}

json_line& json_line::number(std::string_view key, std::uint64_t value) {
    add_key(key);
    members_ += std::to_wstring(value);
    return *this;
}

json_line& json_line::number_or_null(std::string_view key, std::optional<std::uint64_t> value) {
    if (value) {
        return number(key, *value);
    }
    add_key(key);
    members_ += L"null";
    return *this;
}

void json_line::write(std::wostream& out) const {
    out << L'{' << members_ << L"}\n";
}
