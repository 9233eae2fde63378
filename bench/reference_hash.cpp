// The yardstick for the inventory's hashing cost: the least a Windows program
// can do to get a file's SHA-1 from the CryptoAPI. It opens the file, reads it
// in 64 KiB pieces into one buffer and feeds each piece to CryptHashData, with
// the same provider, algorithm and chunk size as the inventory, and nothing
// else: no streams, no version read, no table.
//
// Usage: reference_hash.exe <path>
// Prints "<40 hex digits> <size in bytes>" on standard output and the
// process's own peak working set ("peak_working_set_bytes=N") on standard
// error, so the benchmark can check its outside measurement against what
// Windows reports from inside. Exit code 0 on success, 1 on any failure.

#include <cstdio>

#include <windows.h>
#include <wincrypt.h>
#include <psapi.h>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fputs("usage: reference_hash.exe <path>\n", stderr);
        return 1;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr,
                              L"Microsoft Enhanced RSA and AES Cryptographic Provider",
                              PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return fail("CryptAcquireContextW");
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        return fail("CryptCreateHash");
    }
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return fail("CreateFileW");
    }

    // At the start of a page, as the program's: a read into a buffer a few bytes past
    // a page boundary can run several times slower, which would flatter the program.
    alignas(4096) static BYTE buffer[65536];
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
            return fail("ReadFile");
        }
        if (got == 0) {
            break;
        }
        if (!CryptHashData(hash, buffer, got, 0)) {
            return fail("CryptHashData");
        }
        total += got;
    }
    CloseHandle(file);

    BYTE digest[20];
    DWORD length = sizeof(digest);
    if (!CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
        return fail("CryptGetHashParam");
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);

    for (DWORD index = 0; index < length; ++index) {
        std::printf("%02x", digest[index]);
    }
    std::printf(" %llu\n", total);

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        std::fprintf(stderr, "peak_working_set_bytes=%llu\n",
                     static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    }
    return 0;
}
