#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "import_patch.h"
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

template <typename function>
const void* address(function* replacement) {
    return reinterpret_cast<const void*>(replacement);
}

// The code of the crypto_exception that `run` throws.
template <typename action>
std::uint32_t crypto_code_thrown(action run) {
    try {
        run();
    } catch (const pelmar::crypto::crypto_exception& failure) {
        return failure.error_code;
    }
    ADD_FAILURE() << "no exception";
    return 0;
}

// The hash calls that the inspection code makes through this program's
// imports: counted, passed on to the CryptoAPI, and one of them, when chosen,
// failed with a chosen error code instead.
enum class crypt_call { none, create_hash, hash_data, hash_size, hash_value };

struct crypt_script {
    crypt_call failing = crypt_call::none;
    DWORD code = 0;
    int created = 0;
    int destroyed = 0;
    decltype(&CryptCreateHash) create_hash = nullptr;
    decltype(&CryptHashData) hash_data = nullptr;
    decltype(&CryptGetHashParam) get_param = nullptr;
    decltype(&CryptDestroyHash) destroy_hash = nullptr;
};

inline crypt_script script;

inline BOOL fail_with_script_code() {
    SetLastError(script.code);
    return FALSE;
}

inline BOOL WINAPI scripted_create_hash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key,
                                        DWORD flags, HCRYPTHASH* hash) {
    if (script.failing == crypt_call::create_hash) {
        return fail_with_script_code();
    }
    const BOOL created = script.create_hash(provider, algorithm, key, flags, hash);
    script.created += created ? 1 : 0;
    return created;
}

inline BOOL WINAPI scripted_hash_data(HCRYPTHASH hash, const BYTE* data, DWORD length,
                                      DWORD flags) {
    return script.failing == crypt_call::hash_data ? fail_with_script_code()
                                                   : script.hash_data(hash, data, length, flags);
}

inline BOOL WINAPI scripted_get_param(HCRYPTHASH hash, DWORD parameter, BYTE* data,
                                      DWORD* length, DWORD flags) {
    if ((script.failing == crypt_call::hash_size && parameter == HP_HASHSIZE) ||
        (script.failing == crypt_call::hash_value && parameter == HP_HASHVAL)) {
        return fail_with_script_code();
    }
    return script.get_param(hash, parameter, data, length, flags);
}

inline BOOL WINAPI scripted_destroy_hash(HCRYPTHASH hash) {
    ++script.destroyed;
    return script.destroy_hash(hash);
}

class scripted_crypt {
public:
    explicit scripted_crypt(crypt_call failing = crypt_call::none, DWORD code = 0) {
        script = crypt_script{failing, code};
        script.create_hash = create_.original<decltype(&CryptCreateHash)>();
        script.hash_data = data_.original<decltype(&CryptHashData)>();
        script.get_param = param_.original<decltype(&CryptGetHashParam)>();
        script.destroy_hash = destroy_.original<decltype(&CryptDestroyHash)>();
    }

private:
    import_patch create_{"advapi32.dll", "CryptCreateHash", address(scripted_create_hash)};
    import_patch data_{"advapi32.dll", "CryptHashData", address(scripted_hash_data)};
    import_patch param_{"advapi32.dll", "CryptGetHashParam", address(scripted_get_param)};
    import_patch destroy_{"advapi32.dll", "CryptDestroyHash", address(scripted_destroy_hash)};
};
