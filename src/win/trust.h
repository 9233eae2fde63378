#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "windows8_catalogs.h"

namespace pelmar::win {

// What WinVerifyTrust said about one subject: its result (0 for a valid
// signature) and, where the signature names a certificate, the signing
// certificate's simple display name as the certificate holds it, and the
// SHA-1 and SHA-256 thumbprints of each certificate in its chain.
struct trust_result {
    std::int32_t code;
    std::wstring certificate_name;
    std::vector<std::vector<unsigned char>> thumbprints;
};

// Checks the embedded signature of the open file at `path`: Authenticode for
// an image, the catalog's own signature for a catalog file. Offline: no
// revocation check and no download of any kind.
[[nodiscard]] trust_result verify_embedded(const std::wstring& path, HANDLE file);

// A file's entry in a catalog, as WinVerifyTrust checks it: the catalog's
// signature and, on Windows, that `hash` is the member's. `admin` is the
// catalog context that computed `hash`, which names its algorithm.
struct catalog_member_query {
    const std::wstring& catalog_path;
    const std::wstring& member_tag;
    const std::wstring& file_path;
    HANDLE file;
    const std::vector<unsigned char>& hash;
    HCATADMIN admin;
};
[[nodiscard]] trust_result verify_catalog_member(const catalog_member_query& query);

}  // namespace pelmar::win
