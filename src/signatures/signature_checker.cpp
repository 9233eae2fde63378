#include "signature_checker.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <variant>

#include <windows.h>

#include "executable_image.h"
#include "file_manifest.h"
#include "opened_file.h"
#include "printable_name.h"
#include "trust_reason.h"
#include "verdict_policy.h"

namespace pelmar::signatures {

namespace {

// The tag by which a catalog of the signing tools lists a member: its hash in
// upper-case hexadecimal.
std::wstring member_tag(const win::catalog_hash& hash) {
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

file_verdict unchecked(std::wstring words, const win::win32_error& error) {
    return {signature_status::unchecked, {}, {{std::move(words), error.code}}};
}

file_verdict hash_failure(const win::win32_error& error) {
    return unchecked(L"hash cannot be computed", error);
}

// A signature as the rules read it; `expected`: by a signer the user named.
signature_fact fact_of(const win::trust_result& signature, bool expected) {
    return {trust_outcome_of(signature.code), signature.code,
            printable_name(signature.certificate_name), expected};
}

// A file of the manifest where the manifest looks for it: the product's
// own, whose name a catalog must list it under.
bool is_driver_file(install_location location, const std::wstring& file_name) {
    return std::any_of(file_manifest.begin(), file_manifest.end(), [&](const auto& entry) {
        return (entry.locations & location) != 0 && win::same_file_name(entry.file_name, file_name);
    });
}

struct driver_folder_kind {
    const wchar_t* environment_folder;
    std::uint16_t machine;
    const wchar_t* text;
};
constexpr driver_folder_kind driver_folder_kinds[] = {
    {L"x64", IMAGE_FILE_MACHINE_AMD64, L"the 64-bit driver folder"},
    {L"W32X86", IMAGE_FILE_MACHINE_I386, L"the 32-bit driver folder"},
    {L"ARM64", IMAGE_FILE_MACHINE_ARM64, L"the ARM64 driver folder"},
};

// The spooler's folder of one environment's drivers that holds the version
// folder `directory` (`...\x64\3\`), by the environment folder's name.
const driver_folder_kind* driver_folder_of(std::wstring_view directory) {
    while (!directory.empty() && (directory.back() == L'\\' || directory.back() == L'/')) {
        directory.remove_suffix(1);
    }
    const std::size_t version = directory.find_last_of(L"\\/");
    if (version == std::wstring_view::npos) {
        return nullptr;
    }
    directory = directory.substr(0, version);
    // The whole text where it has no separator: npos + 1 is 0.
    const std::wstring_view environment = directory.substr(directory.find_last_of(L"\\/") + 1);
    for (const driver_folder_kind& kind : driver_folder_kinds) {
        if (win::same_file_name(environment, kind.environment_folder)) {
            return &kind;
        }
    }
    return nullptr;
}

std::wstring build_text(std::uint16_t machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_I386:
            return L"a 32-bit build";
        case IMAGE_FILE_MACHINE_AMD64:
            return L"a 64-bit build";
        case IMAGE_FILE_MACHINE_ARM64:
            return L"an ARM64 build";
        default: {
            wchar_t text[32];
            std::swprintf(text, 32, L"a build for machine 0x%04X", unsigned{machine});
            return text;
        }
    }
}

// Why an image in the printer driver folder is not a build the spooler of
// that folder's architecture loads; empty when it is one, or no image.
[[nodiscard]] std::wstring wrong_machine(install_location location, const std::wstring& directory,
                                         file_facts& facts) {
    const driver_folder_kind* folder =
        location == printer_driver_directory ? driver_folder_of(directory) : nullptr;
    const std::uint16_t machine = folder != nullptr ? facts.machine() : 0;
    return machine != 0 && machine != folder->machine
               ? build_text(machine) + L" in " + folder->text
               : std::wstring();
}

}  // namespace

signature_checker::signature_checker(std::vector<std::wstring> signers,
                                     std::vector<std::vector<unsigned char>> thumbprints)
    : named_{std::move(signers), std::move(thumbprints)} {}

bool signature_checker::expected(const win::trust_result& signature) const {
    return named_.accept(signature);
}

void signature_checker::read_package_catalog(install_location location,
                                             const std::wstring& directory) {
    if (!catalogs_.contains(location)) {
        catalogs_.emplace(location, package_catalog(directory));
    }
}

const package_catalog& signature_checker::judging_catalog(install_location location) const {
    if (location == printer_driver_directory) {
        // The spooler copied its driver's files from the installed package,
        // whose folder in the driver store only administrators can change.
        const auto installed = catalogs_.find(driver_package_directory);
        if (installed != catalogs_.end() && installed->second.can_vouch() &&
            expected(installed->second.signature())) {
            return installed->second;
        }
    }
    return catalogs_.at(location);
}

std::optional<file_verdict> signature_checker::check(const win::catalog_hasher& hasher,
                                                     install_location location,
                                                     const std::wstring& directory,
                                                     const std::wstring& file_name) const {
    std::optional<file_verdict> verdict = judge_file(hasher, location, directory, file_name);
    // The installed package always holds its catalog: without it, no file
    // can be told from another build the publisher signed.
    const auto installed = catalogs_.find(driver_package_directory);
    const bool catalog_missing = installed != catalogs_.end() && !installed->second.verdict() &&
                                 (location == printer_driver_directory ||
                                  location == driver_package_directory);
    if (verdict && catalog_missing && is_driver_file(location, file_name)) {
        static const reason no_package_catalog(L"the driver package folder holds no " +
                                               std::wstring(package_catalog::file_name));
        verdict->reasons.push_back(no_package_catalog);
    }
    return verdict;
}

std::optional<file_verdict> signature_checker::judge_file(const win::catalog_hasher& hasher,
                                                          install_location location,
                                                          const std::wstring& directory,
                                                          const std::wstring& file_name) const {
    // Read before any check in the folder: at() throws rather than judge a
    // file without the catalog beside it.
    const package_catalog& beside = catalogs_.at(location);
    const std::wstring package_name = package_catalog::file_name;
    if (win::same_file_name(file_name, package_name)) {
        const std::optional<file_verdict>& verdict = beside.verdict();
        if (verdict && verdict->status == signature_status::embedded_signature &&
            !expected(beside.signature())) {
            return file_verdict{signature_status::other_signer, verdict->signer, verdict->reasons};
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
    if (!file.readable()) {
        return file_verdict{signature_status::unreadable, {}, {file.problem()}};
    }
    file_facts facts(hasher, path, file.handle());
    return check_open(location, file_name, facts);
}

template <typename facts_type, typename judge_type>
auto signature_checker::judge_with_store(facts_type& facts, file_facts& file,
                                         const std::wstring& listed_name,
                                         const judge_type& judge) const {
    auto judgement = judge(facts);
    const auto more = [&] { return std::holds_alternative<search_store>(judgement); };
    for (const std::string_view algorithm : win::catalog_hasher::algorithms) {
        if (!more()) {
            return judgement;
        }
        if (!file.computes(algorithm)) {
            continue;
        }
        store_search& search = facts.store.emplace_back();
        const win::result<win::catalog_hash>& hash = file.hash(algorithm);
        if (!hash) {
            search.failure = hash_failure(hash.error());
            judgement = judge(facts);
            continue;
        }
        const win::result<std::vector<std::wstring>> catalogs = win::catalogs_listing(hash.value());
        if (!catalogs) {
            search.failure = unchecked(L"the system's catalogs cannot be searched", catalogs.error());
            judgement = judge(facts);
            continue;
        }
        const std::wstring tag = member_tag(hash.value());
        for (const std::wstring& catalog : catalogs.value()) {
            search.listings.push_back(listing_of(catalog, tag, file, hash.value(), listed_name));
            judgement = judge(facts);
            if (!more()) {
                return judgement;
            }
        }
        judgement = judge(facts);
    }
    if (more()) {
        facts.store_searched = true;
        judgement = judge(facts);
    }
    return judgement;
}

store_listing signature_checker::listing_of(const std::wstring& catalog, const std::wstring& tag,
                                            file_facts& file, const win::catalog_hash& hash,
                                            const std::wstring& listed_name) const {
    const win::trust_result signature = win::verify_catalog_member(
        {catalog, tag, file.path(), file.handle(), hash.value, hash.admin});
    store_listing listing{
        .catalog = printable_name(catalog.substr(catalog.find_last_of(L"\\/") + 1)),
        .signature = fact_of(signature, expected(signature))};
    if (listing.signature.outcome != trust_outcome::valid || listed_name.empty()) {
        return listing;
    }
    // The name it lists the file by, read as the package catalog's members
    // are. Only administrators can change the store's catalogs, as its
    // verification by path takes for granted too.
    const opened_file opened(catalog);
    if (!opened.readable()) {
        listing.naming = store_listing::naming::unreadable;
        listing.problem = opened.problem();
        return listing;
    }
    std::string bytes;
    if (const std::optional<file_verdict> failure = read_catalog_bytes(opened.handle(), bytes)) {
        listing.naming = store_listing::naming::malformed;
        listing.problem = failure->reasons.front();
        return listing;
    }
    const auto member = win::read_catalog_member(bytes, tag);
    if (const auto* problem = std::get_if<win::catalog_problem>(&member)) {
        listing.naming = store_listing::naming::malformed;
        listing.problem = catalog_problem_reason(*problem);
        return listing;
    }
    const std::optional<win::catalog_member>& found = std::get<0>(member);
    if (found && found->digest == hash.value) {
        listing.naming = store_listing::naming::named;
        listing.name = found->file_name;
    } else {
        listing.naming = store_listing::naming::not_listed;
    }
    return listing;
}

package_fact signature_checker::package_fact_of(install_location location,
                                               const std::wstring& file_name,
                                               file_facts& file) const {
    const package_catalog& package = judging_catalog(location);
    package_fact fact;
    fact.catalog = &package == &catalogs_.at(location)
                       ? std::wstring(package_catalog::file_name)
                       : L"the driver package's " + std::wstring(package_catalog::file_name);
    fact.signer = printable_name(package.signature().certificate_name);
    fact.authority = package.can_vouch() && expected(package.signature());
    if (!package.can_vouch()) {
        return fact;
    }
    // One entry for each architecture's build the package covers, each
    // hashed by its own algorithm.
    const std::vector<const win::catalog_member*> entries = package.members_named(file_name);
    fact.names_it = !entries.empty();
    for (const win::catalog_member* entry : entries) {
        if (!file.computes(entry->algorithm)) {
            fact.uncomputed = algorithm_name(entry->algorithm);
            continue;
        }
        const win::result<win::catalog_hash>& hash = file.hash(entry->algorithm);
        if (!hash) {
            fact.hash_failure = hash_failure(hash.error());
            break;
        }
        if (hash.value().value == entry->digest) {
            fact.lists_it = true;
            break;
        }
    }
    return fact;
}

file_verdict signature_checker::check_open(std::optional<install_location> location,
                                           const std::wstring& file_name,
                                           file_facts& file) const {
    const win::trust_result& embedded = file.embedded();
    open_file_facts facts;
    facts.embedded = fact_of(embedded, expected(embedded));
    if (location) {
        facts.package = package_fact_of(*location, file_name, file);
        if (is_driver_file(*location, file_name)) {
            facts.driver_name = file_name;
            // The folder as the directory text gives it, its trailing
            // backslash kept.
            const std::wstring& path = file.path();
            facts.wrong_machine =
                wrong_machine(*location, path.substr(0, path.find_last_of(L'\\')), file);
        }
    }
    return std::get<file_verdict>(judge_with_store(facts, file, facts.driver_name, judge_open));
}

std::optional<file_verdict> signature_checker::check_claimed(const std::wstring& installed_name,
                                                             file_facts& file) const {
    const win::trust_result& embedded = file.embedded();
    claimed_image_facts facts;
    facts.embedded = fact_of(embedded, expected(embedded));
    facts.trusted = trusted_image({.claimed = true, .embedded = embedded}, named_);
    facts.installed_name = installed_name;
    const auto judgement = judge_with_store(facts, file, installed_name, judge_claimed_image);
    if (const file_verdict* verdict = std::get_if<file_verdict>(&judgement)) {
        return *verdict;
    }
    return std::nullopt;
}

bool signature_checker::listed_in_package(install_location location,
                                          const std::wstring& file_name, file_facts& file) const {
    // Asked of every file the walk finds in the driver's folders: most are
    // in no package catalog that could vouch.
    if (!judging_catalog(location).can_vouch()) {
        return false;
    }
    const package_fact fact = package_fact_of(location, file_name, file);
    return fact.authority && fact.lists_it;
}

}  // namespace pelmar::signatures
