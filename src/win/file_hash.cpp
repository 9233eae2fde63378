#include "file_hash.h"

#include <vector>

#include <wincrypt.h>

#include "unique_handle.h"

namespace pelmar::win {

namespace {

void release_context(HCRYPTPROV provider) {
    CryptReleaseContext(provider, 0);
}

using unique_crypt_provider = unique_handle<HCRYPTPROV, release_context>;
using unique_crypt_hash = unique_handle<HCRYPTHASH, CryptDestroyHash>;

constexpr DWORD chunk = 64 * 1024;

}  // namespace

result<sha256_digest> sha256_of(HANDLE file) {
    // Hashing needs no key container, so none is opened or created.
    unique_crypt_provider provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
        return last_error("CryptAcquireContextW");
    }
    unique_crypt_hash hash;
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        return last_error("CryptCreateHash");
    }
    std::vector<BYTE> bytes(chunk);
    OVERLAPPED at{};  // the offset to read at, whatever the handle's own position
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), chunk, &read, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return last_error("ReadFile");
        }
        if (read == 0) {
            break;
        }
        if (!CryptHashData(hash.get(), bytes.data(), read, 0)) {
            return last_error("CryptHashData");
        }
        const ULONGLONG next = (ULONGLONG{at.OffsetHigh} << 32 | at.Offset) + read;
        at.Offset = static_cast<DWORD>(next);
        at.OffsetHigh = static_cast<DWORD>(next >> 32);
    }
    sha256_digest digest{};
    DWORD size = digest.size();
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &size, 0)) {
        return last_error("CryptGetHashParam");
    }
    return digest;
}

}  // namespace pelmar::win
