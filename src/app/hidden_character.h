#pragma once

// Whether a character of a name that someone else chose must be written as
// \uXXXX wherever the name is shown or handed on: one that would end a row,
// a line or a record (below U+0020, U+007F to U+009F, U+2028, U+2029), or
// turn the text around it into a look-alike (the bidirectional controls).
constexpr bool is_hidden_character(wchar_t character) {
    const unsigned code = character;
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029 ||
           code == 0x200E || code == 0x200F || code == 0x061C ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}
