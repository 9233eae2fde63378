#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "hidden_character.h"

namespace pelmar::signatures {

// A name from a certificate or a catalog, as a row may show it. Whoever
// signs chooses the name: its hidden characters are shown as \uXXXX.
inline std::wstring printable_name(std::wstring_view name) {
    std::wstring shown;
    for (const wchar_t character : name) {
        if (is_hidden_character(character)) {
            wchar_t escaped[7];
            std::swprintf(escaped, 7, L"\\u%04X", static_cast<unsigned>(character));
            shown += escaped;
        } else {
            shown += character;
        }
    }
    return shown;
}

}  // namespace pelmar::signatures
