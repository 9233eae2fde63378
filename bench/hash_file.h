#pragma once

// The least a Windows program can do to get a file's SHA-1 from the CryptoAPI:
// it opens the file, reads it in 64 KiB pieces into one buffer and feeds each
// piece to CryptHashData, with the same provider, algorithm and chunk size as
// the inventory, and nothing else. The reference loop and the stage probes
// share it, so that they measure the very same work.

#include <cstdio>

#include <windows.h>
#include <wincrypt.h>

struct file_digest {
    char text[41] = {};  // 40 lower-case hexadecimal digits
    unsigned long long size = 0;
};

// Hashes the file at `path` into `digest`. Returns nothing on success, or the
// name of the call that failed, with its error in GetLastError(); the process
// is expected to end then, so nothing is released on that path.
inline const char* hash_file(const wchar_t* path, file_digest& digest) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr,
                              L"Microsoft Enhanced RSA and AES Cryptographic Provider",
                              PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return "CryptAcquireContextW";
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        return "CryptCreateHash";
    }
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "CreateFileW";
    }

    // At the start of a page, as the program's: a read into a buffer a few bytes past
    // a page boundary can run several times slower, which would flatter the program.
    alignas(4096) static BYTE buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
            return "ReadFile";
        }
        if (got == 0) {
            break;
        }
        if (!CryptHashData(hash, buffer, got, 0)) {
            return "CryptHashData";
        }
        digest.size += got;
    }
    CloseHandle(file);

    BYTE value[20];
    DWORD length = sizeof(value);
    if (!CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0)) {
        return "CryptGetHashParam";
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    for (DWORD index = 0; index < length && index < sizeof(value); ++index) {
        std::snprintf(digest.text + 2 * index, 3, "%02x", value[index]);
    }
    return nullptr;
}
