#include "signature_checker.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#include "error_code_text.h"
#include "opened_file.h"
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

// The first catalog in the system's catalog store that lists `hash`, by its
// full path; empty when none does.
std::wstring system_catalog_listing(const catalog_hash& hash) {
    std::vector<unsigned char> value = hash.value;
    const HCATINFO listing = CryptCATAdminEnumCatalogFromHash(
        hash.admin, value.data(), static_cast<DWORD>(value.size()), 0, nullptr);
    if (listing == nullptr) {
        return {};
    }
    CATALOG_INFO info{};
    info.cbStruct = sizeof info;
    const bool named = CryptCATCatalogInfoFromContext(listing, &info, 0) != FALSE;
    CryptCATAdminReleaseCatalogContext(hash.admin, listing, 0);
    return named ? std::wstring(info.wszCatalogFile) : std::wstring();
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

std::wstring file_name_part(const std::wstring& path) {
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

}  // namespace

signature_checker::signature_checker(std::vector<std::wstring> signers)
    : signers_(std::move(signers)) {}

bool signature_checker::expected(const std::wstring& signer) const {
    return signers_.empty() || std::find(signers_.begin(), signers_.end(), signer) != signers_.end();
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
    if (same_file_name(file_name, package_catalog::file_name)) {
        const std::optional<file_verdict>& verdict = package.verdict();
        if (verdict && verdict->status == signature_status::embedded_signature &&
            !expected(verdict->signer)) {
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
    if (!file.problem().empty()) {
        return file_verdict{signature_status::unreadable, {}, file.problem()};
    }

    file_verdict gravest{signature_status::no_signature, {}, {}};
    const trust_result embedded = verify_embedded(path, file.handle());
    switch (trust_outcome_of(embedded.code)) {
        case trust_outcome::valid:
            if (expected(embedded.signer)) {
                return file_verdict{signature_status::embedded_signature, embedded.signer, {}};
            }
            // A catalog may still vouch for it by an expected signer.
            keep_gravest(gravest, {signature_status::other_signer, embedded.signer, {}});
            break;
        case trust_outcome::altered:
            // Changed since it was signed: no catalog can make up for that.
            return file_verdict{signature_status::altered, embedded.signer,
                                trust_failure_text(embedded.code)};
        case trust_outcome::invalid:
            keep_gravest(gravest, {signature_status::invalid, embedded.signer,
                                   trust_failure_text(embedded.code)});
            break;
        case trust_outcome::no_signature:
            break;
    }

    bool listed_in_package = false;
    // Strongest algorithm first; the weaker one only when that found nothing.
    for (const std::string_view algorithm : catalog_hasher::algorithms) {
        std::optional<catalog_hash> hash(std::in_place);
        if (!hasher.computes(algorithm) || hasher.hash(algorithm, file.handle(), *hash) != 0) {
            continue;
        }
        const catalog_member* member =
            package.can_vouch() ? package.member_with_digest(hash->value) : nullptr;
        if (member != nullptr) {
            listed_in_package = true;
            if (auto verdict = judge_listing({package.path(), member->tag, path, file.handle(),
                                              hash->value, hash->admin},
                                             gravest)) {
                return verdict;
            }
        }
        const std::wstring listing = system_catalog_listing(*hash);
        if (!listing.empty()) {
            if (auto verdict = judge_listing({listing, member_tag(*hash), path, file.handle(),
                                              hash->value, hash->admin},
                                             gravest)) {
                return verdict;
            }
        }
    }

    // The package's catalog names the file but lists another hash for it.
    if (!listed_in_package && package.can_vouch() && package.member_named(file_name) != nullptr) {
        keep_gravest(gravest, {signature_status::altered, package.signer(),
                               std::wstring(package_catalog::file_name) + L" lists another hash"});
    }
    return gravest;
}

bool signature_checker::listed_in_package(const catalog_hasher& hasher, install_location location,
                                          HANDLE file) const {
    const package_catalog& package = catalogs_.at(location);
    if (!package.can_vouch() || !expected(package.signer())) {
        return false;
    }
    return std::any_of(catalog_hasher::algorithms.begin(), catalog_hasher::algorithms.end(),
                       [&](std::string_view algorithm) {
                           catalog_hash hash{};
                           return hasher.computes(algorithm) &&
                                  hasher.hash(algorithm, file, hash) == 0 &&
                                  package.member_with_digest(hash.value) != nullptr;
                       });
}

std::optional<file_verdict> signature_checker::judge_listing(const catalog_member_query& query,
                                                             file_verdict& gravest) const {
    const std::wstring catalog_name = file_name_part(query.catalog_path);
    const trust_result listed = verify_catalog_member(query);
    switch (trust_outcome_of(listed.code)) {
        case trust_outcome::valid:
            if (expected(listed.signer)) {
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
