#include "crypt_hash.h"

#include "win32_exception.h"

crypt_hash::crypt_hash(const crypt_provider& provider, ALG_ID algorithm) {
    if (!CryptCreateHash(provider.handle(), algorithm, 0, 0, &handle_)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
}

crypt_hash::~crypt_hash() {
    CryptDestroyHash(handle_);
}

void crypt_hash::hash_value(std::vector<unsigned char>& value) const {
    DWORD size = 0;
    DWORD length = sizeof(size);
    if (!CryptGetHashParam(handle_, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &length, 0)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
    value.assign(size, 0);
    length = size;
    if (!CryptGetHashParam(handle_, HP_HASHVAL, value.data(), &length, 0)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
}
