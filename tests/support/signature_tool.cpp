// Catalog work in the end-to-end tests' Wine prefixes, through the same API the
// signature check uses:
//   tag FILE...     the catalog hashes the system computes for each FILE, one
//                   line each: "SHA1 <hex>", then "SHA256 <hex>" where the
//                   system has CryptCATAdminCalcHashFromFileHandle2 (Wine 8
//                   has not)
//   add CATALOG     adds a catalog to the system's catalog store (the default
//                   subsystem) once WinVerifyTrust has accepted its signature,
//                   and prints where the store keeps it
// Output is UTF-8. A failing call prints "<call> failed: <code>" on standard
// error and ends the program with exit code 2.
#include <string>

#include <windows.h>
// wintrust.h brings the CryptoAPI types that mscat.h uses.
#include <wintrust.h>

#include <mscat.h>

#include "catalogs.h"
#include "hex_text.h"
#include "opened_file.h"
#include "tool_output.h"
#include "trust.h"
#include "unique_file_handle.h"

using pelmar::signatures::opened_file;
using pelmar::win::trust_result;
using pelmar::win::unique_catalog_admin;
using pelmar::win::verify_embedded;

namespace {

// Wine hashes from the file's current position: each hash starts at the top.
void rewind(HANDLE file) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        fail(L"SetFilePointer");
    }
}

void print_tags(const wchar_t* path) {
    const unique_file_handle owner(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    if (!owner) {
        fail(L"CreateFileW");
    }
    const HANDLE file = owner.get();
    BYTE hash[64];
    DWORD size = sizeof(hash);
    if (!CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0)) {
        fail(L"CryptCATAdminCalcHashFromFileHandle");
    }
    write_utf8(STD_OUTPUT_HANDLE, L"SHA1 " + hex_text(hash, size) + L"\n");

    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    const auto acquire = reinterpret_cast<decltype(&CryptCATAdminAcquireContext2)>(
        reinterpret_cast<void*>(GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
    const auto calculate = reinterpret_cast<decltype(&CryptCATAdminCalcHashFromFileHandle2)>(
        reinterpret_cast<void*>(GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
    if (acquire != nullptr && calculate != nullptr) {
        unique_catalog_admin admin;
        if (!acquire(admin.put(), nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
            fail(L"CryptCATAdminAcquireContext2");
        }
        rewind(file);
        size = sizeof(hash);
        if (!calculate(admin.get(), file, &size, hash, 0)) {
            fail(L"CryptCATAdminCalcHashFromFileHandle2");
        }
        write_utf8(STD_OUTPUT_HANDLE, L"SHA256 " + hex_text(hash, size) + L"\n");
    }
}

// A catalog the system cannot read poisons the store: under Wine every later
// lookup by hash then crashes. Only a catalog with a valid signature goes in.
void verify(const wchar_t* path) {
    const opened_file file(path);
    if (!file.readable()) {
        write_utf8(STD_ERROR_HANDLE, std::wstring(path) + L": " + file.problem().words + L"\n");
        std::exit(2);
    }
    const trust_result result = verify_embedded(path, file.handle());
    if (result.code != 0) {
        SetLastError(static_cast<DWORD>(result.code));
        fail(L"WinVerifyTrust");
    }
}

void add_catalog(wchar_t* path) {
    verify(path);
    std::wstring base_name = path;
    base_name.erase(0, base_name.find_last_of(L"\\/") + 1);
    unique_catalog_admin admin;
    if (!CryptCATAdminAcquireContext(admin.put(), nullptr, 0)) {
        fail(L"CryptCATAdminAcquireContext");
    }
    const HCATINFO added = CryptCATAdminAddCatalog(admin.get(), path, base_name.data(), 0);
    if (added == nullptr) {
        fail(L"CryptCATAdminAddCatalog");
    }
    CATALOG_INFO info{};
    info.cbStruct = sizeof(info);
    if (!CryptCATCatalogInfoFromContext(added, &info, 0)) {
        fail(L"CryptCATCatalogInfoFromContext");
    }
    write_utf8(STD_OUTPUT_HANDLE, std::wstring(info.wszCatalogFile) + L"\n");
    CryptCATAdminReleaseCatalogContext(admin.get(), added, 0);
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const std::wstring command = argc >= 3 ? argv[1] : L"";
    if (command == L"tag") {
        for (int index = 2; index < argc; ++index) {
            print_tags(argv[index]);
        }
    } else if (command == L"add" && argc == 3) {
        add_catalog(argv[2]);
    } else {
        write_utf8(STD_ERROR_HANDLE, L"usage: signature_tool tag FILE... | add CATALOG\n");
        return 2;
    }
    return 0;
}
