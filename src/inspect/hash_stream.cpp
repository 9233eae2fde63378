#include "hash_stream.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <vector>

#include "crypt_hash.h"
#include "win32_exception.h"

void hash_stream(const crypt_provider& provider, ALG_ID algorithm, std::istream& stream,
                 std::int64_t size, std::uint64_t chunk, const wchar_t* separator,
                 std::wstring& out) {
    const crypt_hash hash(provider, algorithm);
    if (stream_failed(stream)) {
        return;
    }

    std::vector<unsigned char> buffer(chunk);
    std::int64_t total = 0;
    while (total < size) {
        const auto request =
            std::min(static_cast<std::uint64_t>(size - total), static_cast<std::uint64_t>(chunk));
        stream.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(request));
        // A short read fails the stream; its bytes would only hash a prefix.
        if (stream_failed(stream)) {
            break;
        }
        const auto count = stream.gcount();
        if (count >= 1) {
            if (!CryptHashData(hash.handle(), buffer.data(), static_cast<DWORD>(count), 0)) {
                throw pelmar::crypto::crypto_exception(GetLastError());
            }
            total += count;
        }
    }
    if (stream_failed(stream) || total != size) {
        return;
    }

    std::vector<unsigned char> value;
    hash.hash_value(value);
    std::wostringstream text;
    text << std::hex << std::setfill(L'0');
    for (const unsigned char byte : value) {
        text << std::setw(2) << static_cast<unsigned int>(byte) << separator;
    }
    out = text.str();
    if (*separator != L'\0') {
        out.pop_back();
    }
}
