#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace pelmar::signatures {

// A name from a certificate or a catalog, as a row may show it. Whoever
// signs chooses the name: characters that would end a row or a line (below
// U+0020, U+007F to U+009F, U+2028, U+2029) or turn the text around them
// into a look-alike (the bidirectional controls) are shown as \uXXXX.
inline std::wstring printable_name(std::wstring_view name) {
    std::wstring shown;
    for (const wchar_t character : name) {
        const unsigned code = character;
        const bool hidden = code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 ||
                            code == 0x2029 || code == 0x200E || code == 0x200F ||
                            code == 0x061C || (code >= 0x202A && code <= 0x202E) ||
                            (code >= 0x2066 && code <= 0x2069);
        if (hidden) {
            wchar_t escaped[7];
            std::swprintf(escaped, 7, L"\\u%04X", code);
            shown += escaped;
        } else {
            shown += character;
        }
    }
    return shown;
}

}  // namespace pelmar::signatures
