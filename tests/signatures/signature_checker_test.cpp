#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "catalogs.h"
#include "file_verdict.h"
#include "hex_text.h"
#include "scripted_trust.h"
#include "signature_checker.h"
#include "signature_table.h"
#include "temp_folder.h"

using pelmar::signatures::detail_text;
using pelmar::signatures::file_verdict;
using pelmar::signatures::package_catalog;
using pelmar::signatures::signature_checker;
using pelmar::signatures::signature_status;
using pelmar::signatures::status_text;

namespace {

const std::wstring signer = L"Pelmar Test Signer";

void expect_verdict(const std::optional<file_verdict>& verdict, signature_status status,
                    const std::wstring& who, const std::wstring& detail) {
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(status_text(verdict->status), status_text(status));
    EXPECT_EQ(verdict->signer, who);
    EXPECT_EQ(detail_text(*verdict), detail);
}

class signature_checker_test : public scripted_trust_test {
protected:
    std::optional<file_verdict> check(const std::wstring& name,
                                      std::vector<std::wstring> signers = {}) {
        signature_checker checker(std::move(signers));
        checker.read_package_catalog(program_files_directory, folder_.path());
        return checker.check(acquired_hasher(), program_files_directory, folder_.path(), name);
    }

    temp_folder folder_{L"signature_checker"};
};

}  // namespace

// Wine accepts any root, so these failures of the chain's policy come from
// the script.
TEST_F(signature_checker_test, embedded_signature_results_read_as_status_and_words) {
    folder_.write(L"pmomndrv.dll", "MZ and more");
    struct row {
        LONG code;
        signature_status status;
        const wchar_t* detail;
    };
    const row rows[] = {
        {ERROR_SUCCESS, signature_status::embedded_signature, L""},
        {TRUST_E_BAD_DIGEST, signature_status::altered,
         L"content differs from what was signed. Error code: 0x80096010."},
        {CERT_E_UNTRUSTEDROOT, signature_status::invalid,
         L"untrusted root. Error code: 0x800b0109."},
        {CERT_E_EXPIRED, signature_status::invalid,
         L"expired without a timestamp. Error code: 0x800b0101."},
        {CRYPT_E_REVOKED, signature_status::invalid, L"revoked. Error code: 0x80092010."},
        {TRUST_E_EXPLICIT_DISTRUST, signature_status::invalid,
         L"explicitly distrusted. Error code: 0x800b0111."},
        {TRUST_E_CERT_SIGNATURE, signature_status::invalid,
         L"signature not valid. Error code: 0x80096004."},
    };
    trust.file_signer = signer;
    for (const row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.code);
        trust.file_code = row.code;
        expect_verdict(check(L"pmomndrv.dll"), row.status, signer, row.detail);
    }
    // A name that could forge a row or pass for another: matched as the
    // certificate holds it, shown escaped.
    trust.file_code = ERROR_SUCCESS;
    trust.file_signer = L"Pelmar\r\n\x202E\x0085\x2066" L"Evil";
    expect_verdict(check(L"pmomndrv.dll", {trust.file_signer}),
                   signature_status::embedded_signature,
                   L"Pelmar\\u000D\\u000A\\u202E\\u0085\\u2066Evil", L"");
    for (const LONG code : {TRUST_E_NOSIGNATURE, TRUST_E_SUBJECT_FORM_UNKNOWN,
                            static_cast<LONG>(ERROR_INVALID_PARAMETER)}) {
        SCOPED_TRACE(testing::Message() << std::hex << code);
        trust.file_code = code;
        trust.file_signer.clear();
        expect_verdict(check(L"pmomndrv.dll"), signature_status::no_signature, L"", L"");
    }
}

// Where the file's own signature and the system's catalogs disagree, which
// answer stands. Wine dies inside CryptCATAdminEnumCatalogFromHash once its
// store holds a catalog, so the store is a script here; its catalogs are
// asked in turn, each by the member tag of the file's hash.
TEST_F(signature_checker_test, own_signature_and_each_listing_catalog_in_order_of_precedence) {
    const std::wstring path = folder_.write(L"pmomnui.dll", "MZ listed in the store");
    const std::vector<unsigned char> hash = api_hash(path);
    const std::wstring someone = L"Someone Else";
    const std::wstring bad_digest =
        L"content differs from what was signed. Error code: 0x80096010.";
    const std::wstring expired = L"expired without a timestamp. Error code: 0x800b0101.";
    // A constructor, not an aggregate: GCC 12 warns, wrongly, that an
    // aggregate's string in this table may be destroyed uninitialized.
    struct answer {
        answer(LONG answer_code, std::wstring answer_signer)
            : code(answer_code), signer(std::move(answer_signer)) {}
        LONG code;
        std::wstring signer;
    };
    struct row {
        const char* name;
        answer own;
        std::vector<answer> catalogs;  // oem1.cat, oem2.cat, ...
        std::vector<std::wstring> signers;
        signature_status status;
        std::wstring who;
        std::wstring detail;
    };
    const row rows[] = {
        {"a catalog alone vouches", {TRUST_E_NOSIGNATURE, L""}, {{0, signer}}, {},
         signature_status::catalog, signer, L"oem1.cat"},
        {"a catalog by one of the signers", {TRUST_E_NOSIGNATURE, L""}, {{0, signer}},
         {someone, signer}, signature_status::catalog, signer, L"oem1.cat"},
        {"a catalog by none of the signers", {TRUST_E_NOSIGNATURE, L""}, {{0, signer}}, {someone},
         signature_status::other_signer, signer, L"oem1.cat"},
        {"a catalog whose digest fails", {TRUST_E_NOSIGNATURE, L""}, {{TRUST_E_BAD_DIGEST, signer}},
         {}, signature_status::altered, signer, L"oem1.cat: " + bad_digest},
        {"a catalog that expired", {TRUST_E_NOSIGNATURE, L""}, {{CERT_E_EXPIRED, signer}}, {},
         signature_status::invalid, signer, L"oem1.cat: " + expired},
        {"no signature and no catalog", {TRUST_E_NOSIGNATURE, L""}, {}, {},
         signature_status::no_signature, L"", L""},
        {"catalogs asked until one vouches by a signer", {TRUST_E_NOSIGNATURE, L""},
         {{0, someone}, {CERT_E_EXPIRED, signer}, {0, signer}}, {signer},
         signature_status::catalog, signer, L"oem3.cat"},
        {"no catalog makes up for an embedded bad digest", {TRUST_E_BAD_DIGEST, signer},
         {{0, signer}}, {}, signature_status::altered, signer, bad_digest},
        {"a catalog rescues a failed signature", {CERT_E_EXPIRED, signer}, {{0, signer}}, {},
         signature_status::catalog, signer, L"oem1.cat"},
        {"a catalog rescues another signer's", {0, someone}, {{0, signer}}, {signer},
         signature_status::catalog, signer, L"oem1.cat"},
        {"a valid own signature comes first", {0, signer}, {{0, signer}}, {},
         signature_status::embedded_signature, signer, L""},
        {"nothing vouches: altered is gravest", {0, someone},
         {{CERT_E_EXPIRED, signer}, {TRUST_E_BAD_DIGEST, signer}, {0, someone}}, {signer},
         signature_status::altered, signer, L"oem2.cat: " + bad_digest},
        {"nothing vouches: invalid before other signer", {0, someone},
         {{0, someone}, {CERT_E_EXPIRED, signer}}, {signer}, signature_status::invalid, signer,
         L"oem2.cat: " + expired},
        {"an own invalid signature before another signer's catalog", {CERT_E_EXPIRED, signer},
         {{0, someone}}, {signer}, signature_status::invalid, signer, expired},
        {"other signers everywhere", {0, someone}, {{0, someone}}, {signer},
         signature_status::other_signer, someone, L""},
    };
    for (const row& row : rows) {
        SCOPED_TRACE(row.name);
        trust.file_code = row.own.code;
        trust.file_signer = row.own.signer;
        trust.catalogs.clear();
        store.catalogs.clear();
        for (std::size_t catalog = 0; catalog < row.catalogs.size(); ++catalog) {
            store.catalogs.push_back(
                folder_.write(L"store\\oem" + std::to_wstring(catalog + 1) + L".cat",
                              catalog_bytes({{hash, L"pmomnui.dll"}})));
            trust.catalogs[store.catalogs.back()] = {row.catalogs[catalog].code,
                                                     row.catalogs[catalog].signer};
        }
        trust.member_tag.clear();
        expect_verdict(check(L"pmomnui.dll", row.signers), row.status, row.who, row.detail);
        if (!row.catalogs.empty() && row.own.code != TRUST_E_BAD_DIGEST && row.own.code != 0) {
            EXPECT_EQ(store.asked_hash, hash);
            EXPECT_EQ(trust.member_tag, hex_text(hash.data(), hash.size()));
        }
    }
}

// Only "not found" is an answer of the store, and "no signature" only where
// the last error agrees: other failures are said, never read as a verdict.
TEST_F(signature_checker_test, failures_of_the_services_are_no_verdict) {
    folder_.write(L"pmomnui.dll", "MZ of a file whose check fails");
    store.end_code = RPC_S_SERVER_UNAVAILABLE;
    expect_verdict(check(L"pmomnui.dll"), signature_status::unchecked, L"",
                   L"the system's catalogs cannot be searched. Error code: 0x000006ba.");

    store.end_code = ERROR_NOT_FOUND;
    trust.last_error = ERROR_SHARING_VIOLATION;
    expect_verdict(check(L"pmomnui.dll"), signature_status::invalid, L"",
                   L"signature not valid. Error code: 0x00000020.");

    trust.last_error = 0;
    const import_patch hash_fails(
        "wintrust.dll", "CryptCATAdminCalcHashFromFileHandle",
        as_import(stand_in<decltype(CryptCATAdminCalcHashFromFileHandle),
                           ERROR_LOCK_VIOLATION>::fail));
    expect_verdict(check(L"pmomnui.dll"), signature_status::unchecked, L"",
                   L"hash cannot be computed. Error code: 0x00000021.");
}

// A file is hashed once by each algorithm, however many of the package
// catalog's entries and the store's searches ask for that hash.
TEST_F(signature_checker_test, each_file_is_hashed_once_by_each_algorithm) {
    const std::wstring path = folder_.write(L"pmomnui.dll", "MZ of neither build listed");
    folder_.write(L"pelmaromn.cat",
                  catalog_bytes({{std::vector<unsigned char>(20, 0x86), L"pmomnui.dll"},
                                 {std::vector<unsigned char>(20, 0x64), L"pmomnui.dll"}}));
    store.catalogs = {folder_.write(L"store\\oem1.cat", catalog_bytes({}))};
    static int hashes = 0;
    static const import_patch* counting = nullptr;
    const import_patch counted(
        "wintrust.dll", "CryptCATAdminCalcHashFromFileHandle",
        as_import([](HANDLE file, DWORD* size, BYTE* hash, DWORD flags) -> BOOL {
            ++hashes;
            return counting->original<decltype(&CryptCATAdminCalcHashFromFileHandle)>()(
                file, size, hash, flags);
        }));
    counting = &counted;
    hashes = 0;
    expect_verdict(check(L"pmomnui.dll"), signature_status::altered, signer,
                   L"pelmaromn.cat lists another hash");
    EXPECT_EQ(hashes, 1);
}

// However the search through the store is left, the catalog context it
// stopped at is released: the fixture counts the releases.
TEST_F(signature_checker_test, a_failure_inside_the_store_search_releases_the_catalog_context) {
    folder_.write(L"pmomnui.dll", "MZ listed in the store");
    store.catalogs = {folder_.write(L"store\\oem1.cat", "")};
    const import_patch info("wintrust.dll", "CryptCATCatalogInfoFromContext",
                            as_import([](HCATINFO, CATALOG_INFO*, DWORD) -> BOOL {
                                throw std::bad_alloc();
                            }));
    EXPECT_THROW(check(L"pmomnui.dll"), std::bad_alloc);
}

namespace {

// Windows 8's SHA-256 catalog hashes, which Wine 8 cannot compute, as a
// script: the program finds both functions at run time.
char sha256_context;
const HCATADMIN sha256_admin = &sha256_context;
decltype(&GetProcAddress) get_proc_address = nullptr;
decltype(&CryptCATAdminReleaseContext) release_context = nullptr;

BOOL WINAPI scripted_acquire2(HCATADMIN* admin, const GUID*, PCWSTR algorithm,
                              PCCERT_STRONG_SIGN_PARA, DWORD) {
    EXPECT_EQ(std::wstring(algorithm), L"SHA256");
    *admin = sha256_admin;
    return TRUE;
}

BOOL WINAPI scripted_hash2(HCATADMIN admin, HANDLE, DWORD* size, BYTE* hash, DWORD) {
    EXPECT_EQ(admin, sha256_admin);
    EXPECT_GE(*size, 32u);
    *size = 32;
    std::fill(hash, hash + 32, BYTE{0xAB});
    return TRUE;
}

FARPROC WINAPI scripted_get_proc_address(HMODULE module, LPCSTR name) {
    const std::string wanted = name;
    if (wanted == "CryptCATAdminAcquireContext2") {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(scripted_acquire2));
    }
    if (wanted == "CryptCATAdminCalcHashFromFileHandle2") {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(scripted_hash2));
    }
    return get_proc_address(module, name);
}

BOOL WINAPI scripted_release_context(HCATADMIN admin, DWORD flags) {
    return admin == sha256_admin ? TRUE : release_context(admin, flags);
}

class sha256_catalog_test : public signature_checker_test {
protected:
    sha256_catalog_test() {
        get_proc_address = lookup_.original<decltype(&GetProcAddress)>();
        release_context = release_.original<decltype(&CryptCATAdminReleaseContext)>();
    }

    import_patch lookup_{"kernel32.dll", "GetProcAddress", as_import(scripted_get_proc_address)};
    import_patch release_{"wintrust.dll", "CryptCATAdminReleaseContext",
                          as_import(scripted_release_context)};
};

}  // namespace

TEST_F(sha256_catalog_test, sha256_is_looked_up_first_and_sha1_where_no_catalog_lists_it) {
    const std::vector<unsigned char> sha256(32, 0xAB);
    const std::vector<unsigned char> sha1 =
        api_hash(folder_.write(L"pmomnui.dll", "MZ listed in the store"));
    store.catalogs = {folder_.write(
        L"store\\oem7.cat", catalog_bytes({{sha256, L"pmomnui.dll"}, {sha1, L"pmomnui.dll"}}))};
    store.hash_size = 32;
    expect_verdict(check(L"pmomnui.dll"), signature_status::catalog, signer, L"oem7.cat");
    EXPECT_EQ(trust.member_tag, hex_text(sha256.data(), sha256.size()));
    EXPECT_EQ(trust.catalog_admin, sha256_admin);

    store.hash_size = 20;
    expect_verdict(check(L"pmomnui.dll"), signature_status::catalog, signer, L"oem7.cat");
    EXPECT_EQ(trust.member_tag, hex_text(sha1.data(), sha1.size()));
    EXPECT_NE(trust.catalog_admin, sha256_admin);
    EXPECT_NE(trust.catalog_admin, nullptr);
}

TEST_F(signature_checker_test, files_that_cannot_be_read_are_unreadable_and_absent_ones_have_no_row) {
    const std::wstring held_path = folder_.write(L"pmproc.dll", "held");
    folder_.write(L"omnprn.dll", "denied");
    EXPECT_FALSE(check(L"pomnres_en.dll").has_value());

    const HANDLE held = CreateFileW(held_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    expect_verdict(check(L"pmproc.dll"), signature_status::unreadable, L"",
                   L"cannot be read. Error code: 0x00000020.");
    CloseHandle(held);

    // Wine keeps no access control lists on files, so the denial is scripted.
    const import_patch denied(
        "kernel32.dll", "CreateFileW",
        as_import([](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }));
    expect_verdict(check(L"omnprn.dll"), signature_status::unreadable, L"",
                   L"cannot be read. Error code: 0x00000005.");
    EXPECT_EQ(trust.verifications, 0);
}

namespace {

int messages_decoded = 0;
decltype(&CryptMsgOpenToDecode) open_to_decode = nullptr;

HCRYPTMSG WINAPI counted_open_to_decode(DWORD, DWORD, DWORD, HCRYPTPROV_LEGACY, PCERT_INFO,
                                        PCMSG_STREAM_INFO);

class package_catalog_test : public signature_checker_test {
protected:
    package_catalog_test() {
        messages_decoded = 0;
        open_to_decode = decode_.original<decltype(&CryptMsgOpenToDecode)>();
    }

    import_patch decode_{"crypt32.dll", "CryptMsgOpenToDecode", as_import(counted_open_to_decode)};
};

HCRYPTMSG WINAPI counted_open_to_decode(DWORD encoding, DWORD flags, DWORD type,
                                        HCRYPTPROV_LEGACY provider, PCERT_INFO recipient,
                                        PCMSG_STREAM_INFO stream) {
    ++messages_decoded;
    return open_to_decode(encoding, flags, type, provider, recipient, stream);
}

}  // namespace

// The catalog's members themselves are read from real catalogs in the
// end-to-end test; here its signature is scripted to hold for any bytes.
TEST_F(package_catalog_test, catalog_is_verified_and_read_once_per_folder_and_undecodable_content_vouches_for_nothing) {
    folder_.write(L"pelmaromn.cat", "signed, says the script, but no catalog");
    folder_.write(L"pmomndrv.dll", "MZ beside it");
    folder_.write(L"pmomnui.dll", "MZ beside it too");
    signature_checker checker({});
    const auto hasher = acquired_hasher();
    const std::wstring directory = folder_.path();
    checker.read_package_catalog(program_files_directory, directory);
    checker.read_package_catalog(program_files_directory, directory);
    for (const wchar_t* name : {L"pmomndrv.dll", L"pmomnui.dll"}) {
        SCOPED_TRACE(testing::Message() << name);
        expect_verdict(checker.check(hasher, program_files_directory, directory, name),
                       signature_status::no_signature, L"", L"");
    }
    const std::optional<file_verdict> own =
        checker.check(hasher, program_files_directory, directory, L"pelmaromn.cat");
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(status_text(own->status), L"invalid");
    EXPECT_EQ(own->signer, signer);
    const std::wstring cannot_be_read = L"catalog cannot be read. Error code: 0x";
    const std::wstring detail = detail_text(*own);
    EXPECT_EQ(detail.substr(0, cannot_be_read.size()), cannot_be_read) << detail;
    // Two files and the catalog's own row: one verification of the catalog
    // and one decoding of its content for the folder.
    EXPECT_EQ(trust.verifications, 3);
    EXPECT_EQ(messages_decoded, 1);
}

TEST_F(package_catalog_test, catalog_whose_own_signature_fails_is_never_decoded) {
    folder_.write(L"pelmaromn.cat", "not decoded");
    folder_.write(L"pmomndrv.dll", "MZ beside it");
    struct row {
        LONG code;
        signature_status status;
        const wchar_t* detail;
    };
    const row rows[] = {
        {TRUST_E_BAD_DIGEST, signature_status::altered,
         L"content differs from what was signed. Error code: 0x80096010."},
        {CERT_E_UNTRUSTEDROOT, signature_status::invalid,
         L"untrusted root. Error code: 0x800b0109."},
    };
    for (const row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.code);
        trust.catalog_code = row.code;
        expect_verdict(check(L"pelmaromn.cat"), row.status, signer, row.detail);
        expect_verdict(check(L"pmomndrv.dll"), signature_status::no_signature, L"", L"");
    }
    EXPECT_EQ(messages_decoded, 0);
}

// With Wine's own services: a catalog of random bytes opens, and enumerating
// its members would end the process.
TEST(damaged_package_catalog, random_bytes_are_no_signed_catalog_and_vouch_for_nothing) {
    const temp_folder folder(L"damaged_catalog");
    std::string noise(4096, '\0');
    std::uint32_t state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    folder.write(L"pelmaromn.cat", noise);
    folder.write(L"pmomndrv.dll", "MZ beside a damaged catalog");
    signature_checker checker({});
    const auto hasher = acquired_hasher();
    checker.read_package_catalog(program_files_directory, folder.path());
    expect_verdict(checker.check(hasher, program_files_directory, folder.path(), L"pelmaromn.cat"),
                   signature_status::invalid, L"",
                   L"not a signed catalog. Error code: 0x800b0003.");
    expect_verdict(checker.check(hasher, program_files_directory, folder.path(), L"pmomndrv.dll"),
                   signature_status::no_signature, L"", L"");
}

// The spooler's copies in `x64\3\` and the installed package's folder beside
// it, judged by what the package's and the store's catalogs list; each row
// but the last failed before, and that one guards the catalog's size cap.
TEST_F(signature_checker_test, a_driver_file_is_the_products_own_build_under_its_own_name) {
    struct row {
        const char* name;
        install_location location;  // of the file: the printer driver or the package folder
        std::wstring file;
        std::string content;
        LONG own_code;
        // The package folder's pelmaromn.cat: for each member, whether it
        // lists the file with its hash (or another); none when absent.
        std::optional<std::vector<bool>> package;
        std::uint64_t sparse_package;  // instead, a catalog of this size
        std::wstring store;  // the name the store's one catalog lists the hash under
        DWORD end_code;
        std::wstring expected_signer;
        signature_status status;
        std::wstring who;
        std::wstring detail;
    };
    std::string x86_image(0x200, '\0');
    x86_image.replace(0, 2, "MZ");
    x86_image[0x3C] = '\x80';
    x86_image.replace(0x80, 6, std::string("PE\0\0\x4C\x01", 6));
    const std::vector<bool> nothing;
    const std::uint64_t cap = package_catalog::most_bytes;
    const row rows[] = {
        {"another vendor's catalogued file", printer_driver_directory, L"pmomnui.dll", "MZ",
         TRUST_E_NOSIGNATURE, nothing, 0, L"vendor\x202Eui.dll", ERROR_NOT_FOUND, signer,
         signature_status::replaced, signer, L"oem1.cat lists it as vendor\\u202Eui.dll"},
        {"the installed package lists another build", printer_driver_directory, L"pmomndrv.dll",
         "MZ", 0, std::vector{false}, 0, L"", ERROR_NOT_FOUND, signer, signature_status::replaced,
         signer, L"not the file the driver package's pelmaromn.cat lists"},
        {"the installed package has no catalog", printer_driver_directory, L"pmomndrv.dll", "MZ",
         0, std::nullopt, 0, L"", ERROR_NOT_FOUND, signer, signature_status::embedded_signature,
         signer, L"the driver package folder holds no pelmaromn.cat"},
        {"a catalog of both architectures", printer_driver_directory, L"pmomndrv.dll", "MZ",
         TRUST_E_NOSIGNATURE, std::vector{false, true}, 0, L"", ERROR_NOT_FOUND, signer,
         signature_status::catalog, signer, L"the driver package's pelmaromn.cat"},
        {"the x86 copy in the 64-bit folder", printer_driver_directory, L"pmomndrv.dll",
         x86_image, 0, std::vector{true, false}, 0, L"", ERROR_NOT_FOUND, signer,
         signature_status::replaced, signer, L"a 32-bit build in the 64-bit driver folder"},
        {"an undocumented end of the store's search", driver_package_directory, L"pmomnui.dll",
         "MZ", TRUST_E_NOSIGNATURE, nothing, 0, L"pmomnui.dll", DWORD(CRYPT_E_NOT_FOUND),
         L"Someone Else", signature_status::other_signer, signer, L"oem1.cat"},
        {"a catalog one byte over the cap", driver_package_directory, L"pelmaromn.cat", "", 0,
         std::nullopt, cap + 1, L"", ERROR_NOT_FOUND, {}, signature_status::invalid, L"",
         L"too large"},
    };
    for (std::size_t index = 0; index < std::size(rows); ++index) {
        const row& row = rows[index];
        SCOPED_TRACE(row.name);
        const std::wstring root = folder_.path(std::to_wstring(index)) + L"\\";
        const std::wstring drivers = root + L"x64\\3\\";
        const std::wstring package = folder_.write(root + L"package\\pelmaromn.inf", "");
        const std::wstring catalog = package.substr(0, package.size() - 3) + L"cat";
        const std::wstring folder = row.location == printer_driver_directory ? drivers
                                                                             : root + L"package\\";
        const std::vector<unsigned char> hash = api_hash(folder_.write(folder + row.file,
                                                                       row.content));
        std::vector<std::pair<std::vector<unsigned char>, std::wstring>> members;
        for (const bool own : row.package.value_or(nothing)) {
            members.push_back({hash, row.file});
            members.back().first[0] ^= static_cast<unsigned char>(own ? 0 : members.size());
        }
        if (row.package) {
            folder_.write(catalog, catalog_bytes(members));
        } else if (row.sparse_package != 0) {
            std::filesystem::resize_file(folder_.write(catalog, ""), row.sparse_package);
        }
        store = {};
        store.end_code = row.end_code;
        if (!row.store.empty()) {
            store.catalogs = {folder_.write(root + L"oem1.cat", catalog_bytes({{hash, row.store}}))};
        }
        trust.file_code = row.own_code;
        trust.file_signer = row.own_code == 0 ? signer : L"";

        signature_checker checker(row.expected_signer.empty() ? std::vector<std::wstring>()
                                                              : std::vector{row.expected_signer});
        checker.read_package_catalog(printer_driver_directory, drivers);
        checker.read_package_catalog(driver_package_directory, root + L"package\\");
        expect_verdict(checker.check(acquired_hasher(), row.location, folder, row.file),
                       row.status, row.who, row.detail);
    }
}
