#pragma once

#include <windows.h>
#include <wincrypt.h>

// Owns the run's one CryptoAPI provider. Built only by a successful
// acquisition, so it always holds a handle to release.
class crypt_provider {
public:
    // Throws pelmar::crypto::crypto_exception when the provider is unavailable.
    crypt_provider();
    ~crypt_provider();

    crypt_provider(const crypt_provider&) = delete;
    crypt_provider& operator=(const crypt_provider&) = delete;

    HCRYPTPROV handle() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};
