#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"
#include "unique_handle.h"
#include "windows8_catalogs.h"

namespace pelmar::win {

inline void release_catalog_admin(HCATADMIN admin) {
    CryptCATAdminReleaseContext(admin, 0);
}

// A catalog context of CryptCATAdminAcquireContext or ...AcquireContext2.
using unique_catalog_admin = unique_handle<HCATADMIN, release_catalog_admin>;

// A file's hash as catalogs list it, with the catalog context that computed
// it: the context names the algorithm to the services that look it up.
struct catalog_hash {
    HCATADMIN admin;
    std::vector<unsigned char> value;
};

// One thread's catalog contexts: SHA-256, which catalogs carry since
// Windows 8, where the system can compute it, and SHA-1, which older
// catalogs carry. The hashes are the system's own: for an image it leaves
// out the checksum and the embedded signature, as catalogs do. No two
// threads share one: a context keeps the state of a search through the
// system's catalogs (Wine's keeps its open directory search in it), and
// nothing documents it as safe to use from two threads at once.
class catalog_hasher {
public:
    // The algorithms by the object identifiers a catalog entry names its
    // digest's with, the strongest first.
    static constexpr std::array<std::string_view, 2> algorithms{szOID_NIST_sha256,
                                                                szOID_OIWSEC_sha1};

    // The contexts, or the error where not even the SHA-1 context can be
    // acquired.
    [[nodiscard]] static result<catalog_hasher> acquire();

    // Whether this system computes catalog hashes by `algorithm`.
    [[nodiscard]] bool computes(std::string_view algorithm) const;

    // The open file's hash by `algorithm`, one that it computes.
    [[nodiscard]] result<catalog_hash> hash(std::string_view algorithm, HANDLE file) const;

private:
    catalog_hasher() = default;

    unique_catalog_admin sha256_;
    decltype(&CryptCATAdminCalcHashFromFileHandle2) hash_sha256_ = nullptr;
    unique_catalog_admin sha1_;
};

// The paths of the catalogs in the system's store that list `hash`, in the
// order the store gives them; none where no catalog does.
[[nodiscard]] result<std::vector<std::wstring>> catalogs_listing(const catalog_hash& hash);

}  // namespace pelmar::win
