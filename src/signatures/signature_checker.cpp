#include "signature_checker.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#include "error_code_text.h"
#include "opened_file.h"
#include "printable_name.h"
#include "trust_reason.h"
#include "trust_verification.h"

namespace {

// Where nothing vouches for a file, the gravest of the findings stands.
int gravity(signature_status status) {
    switch (status) {
        case signature_status::altered:
            return 3;
        case signature_status::invalid:
            return 2;
        case signature_status::other_signer:
            return 1;
        default:
            return 0;
    }
}

void keep_gravest(file_verdict& gravest, file_verdict finding) {
    if (gravity(finding.status) > gravity(gravest.status)) {
        gravest = std::move(finding);
    }
}

// The tag by which a catalog of the signing tools lists a member: its hash in
// upper-case hexadecimal.
std::wstring member_tag(const catalog_hash& hash) {
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring tag;
    for (const unsigned char byte : hash.value) {
        tag += digits[byte >> 4];
        tag += digits[byte & 0x0F];
    }
    return tag;
}

std::wstring algorithm_name(const std::string& algorithm) {
    if (algorithm == szOID_NIST_sha256) {
        return L"SHA-256";
    }
    if (algorithm == szOID_OIWSEC_sha1) {
        return L"SHA-1";
    }
    return printable_name(std::wstring(algorithm.begin(), algorithm.end()));
}

file_verdict unchecked(std::wstring detail) {
    return {signature_status::unchecked, {}, std::move(detail)};
}

file_verdict hash_failure(std::uint32_t error_code) {
    return unchecked(L"hash cannot be computed. " + error_code_text(error_code));
}

}  // namespace

signature_checker::signature_checker(std::vector<std::wstring> signers,
                                     std::vector<std::vector<unsigned char>> thumbprints)
    : signers_(std::move(signers)), thumbprints_(std::move(thumbprints)) {}

bool signature_checker::expected(const trust_result& signature) const {
    const auto pinned = [&](const std::vector<unsigned char>& thumbprint) {
        return std::find(signature.thumbprints.begin(), signature.thumbprints.end(),
                         thumbprint) != signature.thumbprints.end();
    };
    return (signers_.empty() || std::find(signers_.begin(), signers_.end(),
                                          signature.certificate_name) != signers_.end()) &&
           (thumbprints_.empty() || std::any_of(thumbprints_.begin(), thumbprints_.end(), pinned));
}

void signature_checker::read_package_catalog(install_location location,
                                             const std::wstring& directory) {
    if (!catalogs_.contains(location)) {
        catalogs_.emplace(location, package_catalog(directory));
    }
}

std::optional<file_verdict> signature_checker::check(const catalog_hasher& hasher,
                                                     install_location location,
                                                     const std::wstring& directory,
                                                     const std::wstring& file_name) const {
    // Read before any check in the folder: at() throws rather than judge a
    // file without the catalog beside it.
    const package_catalog& package = catalogs_.at(location);
    const std::wstring package_name = package_catalog::file_name;
    if (same_file_name(file_name, package_name)) {
        const std::optional<file_verdict>& verdict = package.verdict();
        if (verdict && verdict->status == signature_status::embedded_signature &&
            !expected(package.signature())) {
            return file_verdict{signature_status::other_signer, verdict->signer, verdict->detail};
        }
        return verdict;
    }

    // The directory's own trailing backslash, where it has one, is kept, as
    // in the inventory: Windows reads the doubled separator as one.
    const std::wstring path = directory + L'\\' + file_name;
    const opened_file file(path);
    if (file.absent()) {
        return std::nullopt;
    }
    return check_open(hasher, location, path, file_name, file);
}

file_verdict signature_checker::check_open(const catalog_hasher& hasher,
                                           std::optional<install_location> location,
                                           const std::wstring& path, const std::wstring& file_name,
                                           const opened_file& file) const {
    // Outside the driver's own folders no package catalog speaks.
    static const package_catalog no_package;
    const package_catalog& package = location ? catalogs_.at(*location) : no_package;
    const std::wstring package_name = package_catalog::file_name;
    if (!file.problem().empty()) {
        return file_verdict{signature_status::unreadable, {}, file.problem()};
    }

    file_verdict gravest{signature_status::no_signature, {}, {}};
    const trust_result embedded = verify_embedded(path, file.handle());
    const trust_outcome outcome = trust_outcome_of(embedded.code);
    if (outcome == trust_outcome::altered) {
        // Changed since it was signed: no catalog can make up for that.
        return file_verdict{signature_status::altered, embedded.signer,
                            trust_failure_text(embedded.code)};
    }
    const bool signed_as_expected = outcome == trust_outcome::valid && expected(embedded);
    if (outcome == trust_outcome::valid && !signed_as_expected) {
        // A catalog may still vouch for it by an expected signer.
        keep_gravest(gravest, {signature_status::other_signer, embedded.signer, {}});
    } else if (outcome == trust_outcome::invalid) {
        keep_gravest(gravest, {signature_status::invalid, embedded.signer,
                               trust_failure_text(embedded.code)});
    }

    // The package's catalog, signed by an expected signer, is the authority
    // for each file it names: the file must be the build it lists, hashed
    // by the entry's own algorithm, whatever else vouches for it.
    const catalog_member* entry = package.can_vouch() ? package.member_named(file_name) : nullptr;
    bool other_build = false;
    if (entry != nullptr) {
        if (!hasher.computes(entry->algorithm)) {
            return unchecked(package_name + L" lists a " + algorithm_name(entry->algorithm) +
                             L" hash, which this Windows cannot compute");
        }
        catalog_hash hash;
        if (const std::uint32_t error_code = hasher.hash(entry->algorithm, file.handle(), hash)) {
            return hash_failure(error_code);
        }
        const bool listed = hash.value == entry->digest;
        const bool authority = expected(package.signature());
        if (listed && signed_as_expected) {
            return file_verdict{signature_status::embedded_signature, embedded.signer, {}};
        }
        if (listed && authority) {
            return file_verdict{signature_status::catalog, package.signature().signer,
                                package_name};
        }
        if (listed) {
            keep_gravest(gravest, {signature_status::other_signer, package.signature().signer,
                                   package_name});
        }
        other_build = !listed && authority;
    }
    const auto vouched = [&](signature_status status, const std::wstring& signer,
                             std::wstring detail) {
        return other_build ? file_verdict{signature_status::replaced, signer,
                                          L"not the file " + package_name + L" lists"}
                           : file_verdict{status, signer, std::move(detail)};
    };
    if (signed_as_expected) {
        return vouched(signature_status::embedded_signature, embedded.signer, {});
    }

    for (const std::string_view algorithm : catalog_hasher::algorithms) {
        if (!hasher.computes(algorithm)) {
            continue;
        }
        catalog_hash hash;
        if (const std::uint32_t error_code = hasher.hash(algorithm, file.handle(), hash)) {
            return hash_failure(error_code);
        }
        if (auto verdict = judge_system_catalogs(hash, path, file.handle(), gravest)) {
            return verdict->status == signature_status::catalog
                       ? vouched(verdict->status, verdict->signer, verdict->detail)
                       : *verdict;
        }
    }

    if (other_build) {
        keep_gravest(gravest, {signature_status::altered, package.signature().signer,
                               package_name + L" lists another hash"});
    }
    return gravest;
}

std::optional<file_verdict> signature_checker::judge_system_catalogs(const catalog_hash& hash,
                                                                     const std::wstring& path,
                                                                     HANDLE file,
                                                                     file_verdict& gravest) const {
    const std::wstring tag = member_tag(hash);
    std::vector<unsigned char> value = hash.value;
    HCATINFO listing = nullptr;
    for (;;) {
        // Handed the previous context, the search releases it itself: only
        // the one it stops at is left to release.
        HCATINFO previous = listing;
        listing = CryptCATAdminEnumCatalogFromHash(hash.admin, value.data(),
                                                   static_cast<DWORD>(value.size()), 0, &previous);
        if (listing == nullptr) {
            // Not found; or, as Wine's search of the store's folder says it,
            // no catalog there or none more. Any other code is a failure of
            // the service (stopped, or its RPC failed), and no answer.
            const DWORD error_code = GetLastError();
            if (error_code == ERROR_NOT_FOUND || error_code == ERROR_FILE_NOT_FOUND ||
                error_code == ERROR_NO_MORE_FILES) {
                return std::nullopt;
            }
            return unchecked(L"the system's catalogs cannot be searched. " +
                             error_code_text(error_code));
        }
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        std::optional<file_verdict> verdict;
        if (!CryptCATCatalogInfoFromContext(listing, &info, 0)) {
            verdict = unchecked(L"the system's catalogs cannot be searched. " +
                                error_code_text(GetLastError()));
        } else {
            const std::wstring catalog_path = info.wszCatalogFile;
            verdict =
                judge_listing({catalog_path, tag, path, file, hash.value, hash.admin}, gravest);
        }
        if (verdict) {
            CryptCATAdminReleaseCatalogContext(hash.admin, listing, 0);
            return verdict;
        }
    }
}

bool signature_checker::listed_in_package(const catalog_hasher& hasher, install_location location,
                                          const std::wstring& file_name, HANDLE file) const {
    const package_catalog& package = catalogs_.at(location);
    const catalog_member* entry = package.can_vouch() && expected(package.signature())
                                      ? package.member_named(file_name)
                                      : nullptr;
    catalog_hash hash;
    return entry != nullptr && hasher.computes(entry->algorithm) &&
           hasher.hash(entry->algorithm, file, hash) == 0 && hash.value == entry->digest;
}

std::optional<file_verdict> signature_checker::judge_listing(const catalog_member_query& query,
                                                             file_verdict& gravest) const {
    const std::wstring& path = query.catalog_path;
    const std::wstring catalog_name = printable_name(path.substr(path.find_last_of(L"\\/") + 1));
    const trust_result listed = verify_catalog_member(query);
    switch (trust_outcome_of(listed.code)) {
        case trust_outcome::valid:
            if (expected(listed)) {
                return file_verdict{signature_status::catalog, listed.signer, catalog_name};
            }
            keep_gravest(gravest, {signature_status::other_signer, listed.signer, catalog_name});
            break;
        case trust_outcome::altered:
            keep_gravest(gravest, {signature_status::altered, listed.signer,
                                   catalog_name + L": " + trust_failure_text(listed.code)});
            break;
        case trust_outcome::invalid:
        case trust_outcome::no_signature:
            keep_gravest(gravest, {signature_status::invalid, listed.signer,
                                   catalog_name + L": " + trust_failure_text(listed.code)});
            break;
    }
    return std::nullopt;
}
