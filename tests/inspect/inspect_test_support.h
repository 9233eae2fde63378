#pragma once

#include <cstddef>
#include <string>

#include "scripted_crypt.h"
#include "win32_exception.h"

inline const std::wstring empty_digest = L"da39a3ee5e6b4b0d3255bfef95601890afd80709";

// Test data whose digests were made outside this program with sha1sum:
// byte i is i modulo 251, so no 64 KiB chunk repeats its predecessor.
inline std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

