#include "crypt_provider.h"

#include "win32_exception.h"

crypt_provider::crypt_provider() {
    // Hashing needs no key container, so none is opened or created.
    if (!CryptAcquireContextW(&handle_, nullptr,
                              L"Microsoft Enhanced RSA and AES Cryptographic Provider",
                              PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
}

crypt_provider::~crypt_provider() {
    CryptReleaseContext(handle_, 0);
}
