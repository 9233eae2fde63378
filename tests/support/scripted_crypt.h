#pragma once

#include <string>

#include <windows.h>
#include <wincrypt.h>

#include "import_patch.h"
#include "test_helpers.h"

// The CryptoAPI calls that hashing makes through this program's imports:
// counted at the calls, since CryptoAPI handles are no kernel handles,
// passed on to the CryptoAPI, and one of them, when chosen, failed with a
// chosen error code instead.
enum class crypt_call { none, acquire, create_hash, hash_data, hash_size, hash_value };

struct crypt_script {
    crypt_call failing = crypt_call::none;
    DWORD code = 0;
    int failing_hash_data = 1;  // the first CryptHashData call that fails, where hash_data does
    int acquired = 0;           // providers acquired
    int released = 0;
    int created = 0;            // hashes created
    int destroyed = 0;
    int hash_data_calls = 0;
    // What the last acquisition asked for.
    bool container_named = false;
    std::wstring provider_name;
    DWORD type = 0;
    DWORD flags = 0;
};

inline crypt_script script;

// Puts `script` in place for its lifetime, as `failing` and `code` say.
class scripted_crypt {
public:
    explicit scripted_crypt(crypt_call failing = crypt_call::none, DWORD code = 0) {
        script = crypt_script();
        script.failing = failing;
        script.code = code;
        originals() = {acquire_.original<decltype(&CryptAcquireContextW)>(),
                       release_.original<decltype(&CryptReleaseContext)>(),
                       create_.original<decltype(&CryptCreateHash)>(),
                       data_.original<decltype(&CryptHashData)>(),
                       param_.original<decltype(&CryptGetHashParam)>(),
                       destroy_.original<decltype(&CryptDestroyHash)>()};
    }

private:
    struct calls {
        decltype(&CryptAcquireContextW) acquire;
        decltype(&CryptReleaseContext) release;
        decltype(&CryptCreateHash) create_hash;
        decltype(&CryptHashData) hash_data;
        decltype(&CryptGetHashParam) get_param;
        decltype(&CryptDestroyHash) destroy_hash;
    };
    static calls& originals() {
        static calls passed_on{};
        return passed_on;
    }

    static BOOL fail() {
        SetLastError(script.code);
        return FALSE;
    }

    static BOOL WINAPI acquire(HCRYPTPROV* provider, LPCWSTR container, LPCWSTR name, DWORD type,
                               DWORD flags) {
        script.container_named = container != nullptr;
        script.provider_name = name != nullptr ? name : L"";
        script.type = type;
        script.flags = flags;
        if (script.failing == crypt_call::acquire) {
            return fail();
        }
        const BOOL acquired = originals().acquire(provider, container, name, type, flags);
        script.acquired += acquired ? 1 : 0;
        return acquired;
    }

    static BOOL WINAPI release(HCRYPTPROV provider, DWORD flags) {
        ++script.released;
        return originals().release(provider, flags);
    }

    static BOOL WINAPI create_hash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key,
                                   DWORD flags, HCRYPTHASH* hash) {
        if (script.failing == crypt_call::create_hash) {
            return fail();
        }
        const BOOL created = originals().create_hash(provider, algorithm, key, flags, hash);
        script.created += created ? 1 : 0;
        return created;
    }

    static BOOL WINAPI hash_data(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
        const bool failing = ++script.hash_data_calls >= script.failing_hash_data &&
                             script.failing == crypt_call::hash_data;
        return failing ? fail() : originals().hash_data(hash, data, length, flags);
    }

    static BOOL WINAPI get_param(HCRYPTHASH hash, DWORD parameter, BYTE* data, DWORD* length,
                                 DWORD flags) {
        if ((script.failing == crypt_call::hash_size && parameter == HP_HASHSIZE) ||
            (script.failing == crypt_call::hash_value && parameter == HP_HASHVAL)) {
            return fail();
        }
        return originals().get_param(hash, parameter, data, length, flags);
    }

    static BOOL WINAPI destroy_hash(HCRYPTHASH hash) {
        ++script.destroyed;
        return originals().destroy_hash(hash);
    }

    import_patch acquire_{"advapi32.dll", "CryptAcquireContextW", as_import(acquire)};
    import_patch release_{"advapi32.dll", "CryptReleaseContext", as_import(release)};
    import_patch create_{"advapi32.dll", "CryptCreateHash", as_import(create_hash)};
    import_patch data_{"advapi32.dll", "CryptHashData", as_import(hash_data)};
    import_patch param_{"advapi32.dll", "CryptGetHashParam", as_import(get_param)};
    import_patch destroy_{"advapi32.dll", "CryptDestroyHash", as_import(destroy_hash)};
};
