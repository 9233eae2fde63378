#include "verdict_policy.h"

#include <utility>

#include "folder_listing.h"
#include "printable_name.h"

namespace pelmar::signatures {

namespace {

// Where nothing vouches for a file, the gravest of the findings stands.
int gravity(signature_status status) {
    switch (status) {
        case signature_status::altered:
            return 4;
        case signature_status::replaced:
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

// What the embedded signature alone says: the verdict where the file was
// changed since it was signed, which no catalog makes up for; otherwise
// nothing, and what it found goes to `gravest`: a valid signature there
// unless it is `accepted`.
std::optional<file_verdict> judge_embedded(const signature_fact& embedded, bool accepted,
                                           file_verdict& gravest) {
    switch (embedded.outcome) {
        case trust_outcome::altered:
            return file_verdict{signature_status::altered, embedded.signer,
                                {trust_failure(embedded.code)}};
        case trust_outcome::valid:
            if (!accepted) {
                keep_gravest(gravest, {signature_status::other_signer, embedded.signer, {}});
            }
            break;
        case trust_outcome::invalid:
            keep_gravest(gravest, {signature_status::invalid, embedded.signer,
                                   {trust_failure(embedded.code)}});
            break;
        case trust_outcome::no_signature:
            break;
    }
    return std::nullopt;
}

// The verdict where `listing` vouches for the file, under `listed_name`
// where it is not empty, by an expected signer unless `any_signer`;
// otherwise nothing, and what it found goes to `gravest`. A catalog vouches
// for a hash under the name it lists it by: the same bytes under the
// product's name are another vendor's file.
std::optional<file_verdict> judge_listing(const store_listing& listing,
                                          const std::wstring& listed_name, bool any_signer,
                                          file_verdict& gravest) {
    const signature_fact& signature = listing.signature;
    const std::wstring& catalog = listing.catalog;
    switch (signature.outcome) {
        case trust_outcome::valid:
            if (!any_signer && !signature.expected) {
                keep_gravest(gravest,
                             {signature_status::other_signer, signature.signer, {catalog}});
                break;
            }
            if (listed_name.empty() || (listing.naming == store_listing::naming::named &&
                                        win::same_file_name(listing.name, listed_name))) {
                return file_verdict{signature_status::catalog, signature.signer, {catalog}};
            }
            switch (listing.naming) {
                case store_listing::naming::named:
                    keep_gravest(gravest, {signature_status::replaced, signature.signer,
                                           {catalog + (listing.name.empty()
                                                           ? std::wstring(L" lists it under no name")
                                                           : L" lists it as " +
                                                                 printable_name(listing.name))}});
                    break;
                case store_listing::naming::unreadable:
                    return file_verdict{signature_status::unchecked, {},
                                        {{catalog + L": " + listing.problem.words,
                                          listing.problem.code}}};
                case store_listing::naming::malformed:
                    keep_gravest(gravest, {signature_status::invalid, signature.signer,
                                           {{catalog + L": " + listing.problem.words,
                                             listing.problem.code}}});
                    break;
                case store_listing::naming::not_read:
                case store_listing::naming::not_listed:
                    break;
            }
            break;
        case trust_outcome::altered:
            keep_gravest(gravest, {signature_status::altered, signature.signer,
                                   {trust_failure(signature.code, catalog + L": ")}});
            break;
        case trust_outcome::invalid:
        case trust_outcome::no_signature:
            keep_gravest(gravest, {signature_status::invalid, signature.signer,
                                   {trust_failure(signature.code, catalog + L": ")}});
            break;
    }
    return std::nullopt;
}

// The first verdict of the store's searches so far that vouches for the file
// or says it could not be judged; nothing where none does.
std::optional<file_verdict> judge_store(const std::vector<store_search>& store,
                                        const std::wstring& listed_name, bool any_signer,
                                        file_verdict& gravest) {
    for (const store_search& search : store) {
        if (search.failure) {
            return search.failure;
        }
        for (const store_listing& listing : search.listings) {
            if (auto verdict = judge_listing(listing, listed_name, any_signer, gravest)) {
                return verdict;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<file_verdict, search_store> judge_open(const open_file_facts& facts) {
    const signature_fact& embedded = facts.embedded;
    const package_fact& package = facts.package;
    const bool signed_as_expected = embedded.outcome == trust_outcome::valid && embedded.expected;
    file_verdict gravest{signature_status::no_signature, {}, {}};
    if (auto altered = judge_embedded(embedded, signed_as_expected, gravest)) {
        return *altered;
    }
    if (package.hash_failure) {
        return *package.hash_failure;
    }
    if (!package.lists_it && !package.uncomputed.empty()) {
        return file_verdict{signature_status::unchecked, {},
                            {package.catalog + L" lists a " + package.uncomputed +
                             L" hash, which this Windows cannot compute"}};
    }

    // The package's catalog, signed by an expected signer, is the authority
    // for each file it names: the file must be a build it lists under the
    // file's name, whatever else vouches for it. And a driver file must be a
    // build for its folder's architecture: a catalog that covers both lists
    // the other one's under the same name.
    const bool other_build = package.names_it && !package.lists_it && package.authority;
    const auto vouched = [&](signature_status status, const std::wstring& signer,
                             std::vector<reason> reasons) {
        if (!facts.wrong_machine.empty()) {
            return file_verdict{signature_status::replaced, signer, {facts.wrong_machine}};
        }
        return other_build ? file_verdict{signature_status::replaced, signer,
                                          {L"not the file " + package.catalog + L" lists"}}
                           : file_verdict{status, signer, std::move(reasons)};
    };
    if (package.lists_it && signed_as_expected) {
        return vouched(signature_status::embedded_signature, embedded.signer, {});
    }
    if (package.lists_it && package.authority) {
        return vouched(signature_status::catalog, package.signer, {package.catalog});
    }
    if (package.lists_it) {
        keep_gravest(gravest,
                     {signature_status::other_signer, package.signer, {package.catalog}});
    }
    if (signed_as_expected) {
        return vouched(signature_status::embedded_signature, embedded.signer, {});
    }

    if (auto verdict = judge_store(facts.store, facts.driver_name, false, gravest)) {
        return verdict->status == signature_status::catalog
                   ? vouched(verdict->status, verdict->signer, verdict->reasons)
                   : *verdict;
    }
    if (!facts.store_searched) {
        return search_store{};
    }
    if (other_build) {
        keep_gravest(gravest, {signature_status::altered, package.signer,
                               {package.catalog + L" lists another hash"}});
    }
    return gravest;
}

std::variant<file_verdict, silent, search_store> judge_claimed_image(
    const claimed_image_facts& facts) {
    file_verdict gravest{signature_status::no_signature, {}, {}};
    if (auto altered = judge_embedded(facts.embedded, facts.trusted, gravest)) {
        return *altered;
    }
    if (facts.trusted) {
        return silent{};
    }
    // Only administrators add catalogs to the system's store, each of an
    // installed driver package: whoever signed it, it says what Windows
    // installed, under which name, and the claim rule trusts it.
    if (auto verdict = judge_store(facts.store, facts.installed_name, true, gravest)) {
        if (verdict->status == signature_status::catalog) {
            return silent{};
        }
        return *verdict;
    }
    if (!facts.store_searched) {
        return search_store{};
    }
    return gravest;
}

}  // namespace pelmar::signatures
