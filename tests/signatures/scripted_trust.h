#pragma once

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogs.h"
#include "hex_text.h"
#include "import_patch.h"
#include "test_helpers.h"
#include "windows8_catalogs.h"

// The calling thread's catalog contexts, as a run acquires them.
inline pelmar::win::catalog_hasher acquired_hasher() {
    return pelmar::win::catalog_hasher::acquire().value();
}

// WinVerifyTrust as a script: it answers each verification with the code and
// signer set for its kind of subject (a catalog's own signature, whether of
// a .cat file or through a member, or any other file's), and counts the states it opened and
// closed. The signer reaches the product through the usual helpers, which
// are patched to hand it on.
struct trust_script {
    LONG file_code = TRUST_E_NOSIGNATURE;
    LONG catalog_code = ERROR_SUCCESS;
    std::wstring file_signer;
    std::wstring catalog_signer = L"Pelmar Test Signer";
    // Answers for particular catalogs of the store, by path: code and signer.
    std::map<std::wstring, std::pair<LONG, std::wstring>> catalogs;
    // What GetLastError says after a verification: its code when 0.
    DWORD last_error = 0;
    // What the last catalog verification was asked about.
    std::wstring catalog_path;
    std::wstring member_tag;
    HCATADMIN catalog_admin = nullptr;
    int verifications = 0;
    int closes = 0;
};
inline trust_script trust;
// The run checks files on several threads: each call of the script holds
// this while it reads or writes the script, and the signer of a thread's
// last verification is the thread's own.
inline std::mutex script_mutex;
inline std::wstring& current_signer() {
    thread_local std::wstring signer;
    return signer;
}

inline LONG WINAPI scripted_verify_trust(HWND, GUID*, LPVOID pointer) {
    auto* data = static_cast<WINTRUST_DATA*>(pointer);
    const std::lock_guard lock(script_mutex);
    if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
        ++trust.closes;
        return ERROR_SUCCESS;
    }
    ++trust.verifications;
    // Never a download, never a revocation check.
    EXPECT_EQ(data->fdwRevocationChecks, static_cast<DWORD>(WTD_REVOKE_NONE));
    EXPECT_NE(data->dwProvFlags & WTD_CACHE_ONLY_URL_RETRIEVAL, 0u);
    data->hWVTStateData = reinterpret_cast<HANDLE>(1);
    if (data->dwUnionChoice == WTD_CHOICE_CATALOG) {
        trust.catalog_path = data->pCatalog->pcwszCatalogFilePath;
        trust.member_tag = data->pCatalog->pcwszMemberTag;
        // Windows 8's structure, with hCatAdmin behind the fields older systems know.
        EXPECT_EQ(data->pCatalog->cbStruct, sizeof(WINTRUST_CATALOG_INFO));
        trust.catalog_admin = data->pCatalog->hCatAdmin;
        if (const auto answer = trust.catalogs.find(trust.catalog_path);
            answer != trust.catalogs.end()) {
            current_signer() = answer->second.second;
            return answer->second.first;
        }
        current_signer() = trust.catalog_signer;
        return trust.catalog_code;
    }
    const std::wstring path = data->pFile->pcwszFilePath;
    if (path.size() > 4 && path.substr(path.size() - 4) == L".cat") {
        current_signer() = trust.catalog_signer;
        return trust.catalog_code;
    }
    current_signer() = trust.file_signer;
    SetLastError(trust.last_error != 0 ? trust.last_error : static_cast<DWORD>(trust.file_code));
    return trust.file_code;
}

inline CRYPT_PROVIDER_DATA* WINAPI scripted_provider_data(HANDLE) {
    static CRYPT_PROVIDER_DATA provider{};
    return current_signer().empty() ? nullptr : &provider;
}

// The signing certificate, whose bytes the product only hashes for its
// thumbprints: any bytes will do.
inline BYTE scripted_certificate_bytes[] = "scripted certificate";
inline CERT_CONTEXT scripted_certificate{X509_ASN_ENCODING, scripted_certificate_bytes,
                                         sizeof scripted_certificate_bytes, nullptr, nullptr};

inline CRYPT_PROVIDER_CERT scripted_chain = [] {
    CRYPT_PROVIDER_CERT chain{};
    chain.cbStruct = sizeof chain;
    chain.pCert = &scripted_certificate;
    return chain;
}();
inline CRYPT_PROVIDER_SGNR scripted_provider_signer = [] {
    CRYPT_PROVIDER_SGNR signer{};
    signer.cbStruct = sizeof signer;
    signer.csCertChain = 1;
    signer.pasCertChain = &scripted_chain;
    return signer;
}();

inline CRYPT_PROVIDER_SGNR* WINAPI scripted_signer(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD) {
    return &scripted_provider_signer;
}

inline DWORD WINAPI scripted_name(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR name, DWORD size) {
    const std::wstring& signer = current_signer();
    if (name != nullptr && size > signer.size()) {
        signer.copy(name, signer.size());
        name[signer.size()] = L'\0';
    }
    return static_cast<DWORD>(signer.size() + 1);
}

// The system's catalog store as a script: the catalogs it names for any
// hash, in turn, the code that ends the search, and how many of its
// contexts were handed out and released. As Windows does, it releases the
// context it is handed to go on from.
struct store_script {
    std::vector<std::wstring> catalogs;
    DWORD end_code = ERROR_NOT_FOUND;
    // The size of the hashes the catalogs list; 0 for any.
    std::size_t hash_size = 0;
    std::vector<unsigned char> asked_hash;
    int listings = 0;
    int releases = 0;
};
inline store_script store;

inline HCATINFO WINAPI scripted_enum_catalog(HCATADMIN, BYTE* hash, DWORD size, DWORD,
                                             HCATINFO* previous) {
    const std::lock_guard lock(script_mutex);
    store.asked_hash.assign(hash, hash + size);
    std::size_t next = 0;
    if (previous != nullptr && *previous != nullptr) {
        next = reinterpret_cast<std::size_t>(*previous);
        ++store.releases;
    }
    if (next == store.catalogs.size() || (store.hash_size != 0 && store.hash_size != size)) {
        SetLastError(store.end_code);
        return nullptr;
    }
    ++store.listings;
    // The context is the catalog's place in the list, counted from 1.
    return reinterpret_cast<HCATINFO>(next + 1);
}

inline BOOL WINAPI scripted_catalog_info(HCATINFO listing, CATALOG_INFO* info, DWORD) {
    const std::lock_guard lock(script_mutex);
    const std::wstring& catalog = store.catalogs.at(reinterpret_cast<std::size_t>(listing) - 1);
    catalog.copy(info->wszCatalogFile, MAX_PATH - 1);
    info->wszCatalogFile[std::min<std::size_t>(catalog.size(), MAX_PATH - 1)] = L'\0';
    return TRUE;
}

inline BOOL WINAPI scripted_release_catalog(HCATADMIN, HCATINFO, DWORD) {
    const std::lock_guard lock(script_mutex);
    ++store.releases;
    return TRUE;
}

// The hash the catalog services compute for a file, as a test must take it
// from them: Wine's differs from Windows's for images.
inline std::vector<unsigned char> api_hash(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    std::vector<unsigned char> hash(64);
    auto size = static_cast<DWORD>(hash.size());
    EXPECT_TRUE(CryptCATAdminCalcHashFromFileHandle(file, &size, hash.data(), 0));
    CloseHandle(file);
    hash.resize(size);
    return hash;
}

// One DER element: its tag, its length and `content`.
inline std::string der(char tag, const std::string& content) {
    std::string length;
    for (std::size_t size = content.size(); size != 0; size >>= 8) {
        length.insert(length.begin(), static_cast<char>(size & 0xFF));
    }
    length = content.size() < 0x80 ? std::string(1, static_cast<char>(content.size()))
                                   : static_cast<char>(0x80 | length.size()) + length;
    return tag + length + content;
}

inline std::string utf16_bytes(const std::wstring& text) {
    return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)};
}

// A catalog's bytes as the signing tools lay them out, each file's hash
// under its "File" name, but without a signature: the script says whether
// it holds. Wine cannot encode the members' digests, so it is written here.
inline std::string catalog_bytes(
    const std::vector<std::pair<std::vector<unsigned char>, std::wstring>>& files) {
    const auto oid = [](const char* microsoft) {
        return der(0x06, std::string("\x2B\x06\x01\x04\x01\x82\x37") + microsoft);
    };
    const auto attribute = [](const std::string& type, const std::string& value) {
        return der(0x30, type + der(0x31, value));
    };
    const std::string null("\x05\x00", 2);
    const std::string sha1 = der(0x06, "\x2B\x0E\x03\x02\x1A");
    std::string members;
    for (const auto& [hash, name] : files) {
        const std::wstring tag = hex_text(hash.data(), hash.size());
        const std::string name_value =
            der(0x30, der(0x1E, std::string("\0F\0i\0l\0e", 8)) + der(0x02, "\x10\x01\x00\x01") +
                          der(0x04, utf16_bytes(name + L'\0')));
        const std::string digest =
            der(0x30, der(0x30, oid("\x02\x01\x0F") + null) +
                          der(0x30, der(0x30, sha1 + null) +
                                        der(0x04, std::string(hash.begin(), hash.end()))));
        members += der(0x30, der(0x04, utf16_bytes(tag)) +
                                 der(0x31, attribute(oid("\x0C\x02\x01"), name_value) +
                                               attribute(oid("\x02\x01\x04"), digest)));
    }
    const std::string trust_list =
        der(0x30, der(0x30, oid("\x0C\x01\x01")) + der(0x17, "260101000000Z") +
                      der(0x30, oid("\x0C\x01\x02") + null) + der(0x30, members));
    const std::string signed_data =
        der(0x30, der(0x02, "\x01") + der(0x31, "") +
                      der(0x30, oid("\x0A\x01") + der('\xA0', trust_list)) + der(0x31, ""));
    return der(0x30, der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02") + der('\xA0', signed_data));
}

// Every test starts from a fresh script with all of it patched in.
class scripted_trust_test : public testing::Test {
protected:
    scripted_trust_test() {
        trust = {};
        store = {};
    }
    ~scripted_trust_test() override {
        EXPECT_EQ(trust.closes, trust.verifications) << "every verification's state is closed";
        EXPECT_EQ(store.releases, store.listings) << "every catalog context is released";
    }

    import_patch verify_{"wintrust.dll", "WinVerifyTrust", as_import(scripted_verify_trust)};
    import_patch provider_{"wintrust.dll", "WTHelperProvDataFromStateData",
                           as_import(scripted_provider_data)};
    import_patch signer_{"wintrust.dll", "WTHelperGetProvSignerFromChain",
                         as_import(scripted_signer)};
    import_patch name_{"crypt32.dll", "CertGetNameStringW", as_import(scripted_name)};
    import_patch enum_catalog_{"wintrust.dll", "CryptCATAdminEnumCatalogFromHash",
                               as_import(scripted_enum_catalog)};
    import_patch catalog_info_{"wintrust.dll", "CryptCATCatalogInfoFromContext",
                               as_import(scripted_catalog_info)};
    import_patch release_catalog_{"wintrust.dll", "CryptCATAdminReleaseCatalogContext",
                                  as_import(scripted_release_catalog)};
};
