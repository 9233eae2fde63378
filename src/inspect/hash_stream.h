#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include <windows.h>
#include <wincrypt.h>

#include "crypt_provider.h"

// A stream that hit its end is not failed; one whose read came up short is.
[[nodiscard]] inline bool stream_failed(const std::istream& stream) {
    return (stream.rdstate() & (std::ios::failbit | std::ios::badbit)) != 0;
}

// Hashes the next `size` bytes of `stream`, read in pieces of at most `chunk`
// bytes, and writes the digest to `out` as lower-case hexadecimal pairs, each
// followed by `separator` except the last. `out` is left untouched when the
// stream fails or ends before `size` bytes. CryptoAPI failures throw
// pelmar::crypto::crypto_exception.
void hash_stream(const crypt_provider& provider, ALG_ID algorithm, std::istream& stream,
                 std::int64_t size, std::uint64_t chunk, const wchar_t* separator,
                 std::wstring& out);
