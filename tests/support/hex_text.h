#pragma once

#include <cstddef>
#include <string>

// Bytes as upper-case hexadecimal digits, two a byte, as thumbprints and
// catalog hashes are written.
inline std::wstring hex_text(const unsigned char* bytes, std::size_t size) {
    std::wstring text;
    for (std::size_t index = 0; index < size; ++index) {
        text += L"0123456789ABCDEF"[bytes[index] >> 4];
        text += L"0123456789ABCDEF"[bytes[index] & 0x0F];
    }
    return text;
}
