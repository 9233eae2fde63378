#pragma once

#include <vector>

#include <windows.h>
#include <wincrypt.h>

#include "crypt_provider.h"

// Owns one CryptoAPI hash object; exists only once the object was created.
class crypt_hash {
public:
    // Throws pelmar::crypto::crypto_exception when the object cannot be created.
    crypt_hash(const crypt_provider& provider, ALG_ID algorithm);
    ~crypt_hash();

    crypt_hash(const crypt_hash&) = delete;
    crypt_hash& operator=(const crypt_hash&) = delete;

    HCRYPTHASH handle() const { return handle_; }

    // Replaces the contents of value with the hash value, in the CryptoAPI's
    // byte order. Throws pelmar::crypto::crypto_exception.
    void hash_value(std::vector<unsigned char>& value) const;

private:
    HCRYPTHASH handle_ = 0;
};
