#include "signature_checker.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <windows.h>

#include "error_code_text.h"
#include "executable_image.h"
#include "file_manifest.h"
#include "opened_file.h"
#include "printable_name.h"
#include "trust_reason.h"
#include "whole_file.h"

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

file_verdict unchecked(std::wstring detail) {
    return {signature_status::unchecked, {}, std::move(detail)};
}

file_verdict hash_failure(const win::win32_error& error) {
    return unchecked(L"hash cannot be computed. " + error_code_text(error.code));
}

// A row's words for who signed what `signature` verified.
std::wstring signer_of(const win::trust_result& signature) {
    return printable_name(signature.certificate_name);
}

// A file of the manifest where the manifest looks for it: the product's
// own, whose name a catalog must list it under.
bool is_driver_file(install_location location, const std::wstring& file_name) {
    return std::any_of(file_manifest.begin(), file_manifest.end(), [&](const auto& entry) {
        return (entry.locations & location) != 0 && same_file_name(entry.file_name, file_name);
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
        if (same_file_name(environment, kind.environment_folder)) {
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

// The member that lists `hash` under `tag` in the catalog open as `catalog`,
// read as the package catalog's members are: its name into `name`. Returns
// whether the catalog lists it; a problem with the catalog goes to `problem`.
[[nodiscard]] bool listed_member_name(HANDLE catalog, const std::wstring& tag,
                                      const std::vector<unsigned char>& hash, std::wstring& name,
                                      std::wstring& problem) {
    std::string bytes;
    const bool rewound = SetFilePointerEx(catalog, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    const std::uint32_t error_code =
        rewound ? read_whole_file(catalog, package_catalog::most_bytes, bytes) : GetLastError();
    if (error_code != 0) {
        problem = error_code == ERROR_FILE_TOO_LARGE
                      ? L"too large"
                      : L"cannot be read. " + error_code_text(error_code);
        return false;
    }
    std::optional<catalog_member> member;
    problem = read_catalog_member(bytes, tag, member);
    if (!problem.empty() || !member || member->digest != hash) {
        return false;
    }
    name = member->file_name;
    return true;
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
        verdict->detail += std::wstring(verdict->detail.empty() ? L"" : L"; ") +
                           L"the driver package folder holds no " + package_catalog::file_name;
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
    if (same_file_name(file_name, package_name)) {
        const std::optional<file_verdict>& verdict = beside.verdict();
        if (verdict && verdict->status == signature_status::embedded_signature &&
            !expected(beside.signature())) {
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
    file_facts facts(hasher, path, file.handle());
    return check_open(location, file_name, facts);
}

std::optional<file_verdict> signature_checker::judge_embedded(file_facts& facts, bool accepted,
                                                              file_verdict& gravest) const {
    const win::trust_result& embedded = facts.embedded();
    switch (trust_outcome_of(embedded.code)) {
        case trust_outcome::altered:
            // Changed since it was signed: no catalog can make up for that.
            return file_verdict{signature_status::altered, signer_of(embedded),
                                trust_failure_text(embedded.code)};
        case trust_outcome::valid:
            if (!accepted) {
                // A catalog may still vouch for it.
                keep_gravest(gravest, {signature_status::other_signer, signer_of(embedded), {}});
            }
            break;
        case trust_outcome::invalid:
            keep_gravest(gravest, {signature_status::invalid, signer_of(embedded),
                                   trust_failure_text(embedded.code)});
            break;
        case trust_outcome::no_signature:
            break;
    }
    return std::nullopt;
}

file_verdict signature_checker::check_open(std::optional<install_location> location,
                                           const std::wstring& file_name,
                                           file_facts& facts) const {
    // Outside the driver's own folders no package catalog speaks.
    static const package_catalog no_package;
    const package_catalog& beside = location ? catalogs_.at(*location) : no_package;
    const std::wstring package_name = package_catalog::file_name;
    // The folder as the directory text gives it, its trailing backslash kept.
    const std::wstring directory = facts.path().substr(0, facts.path().find_last_of(L'\\'));
    const win::trust_result& embedded = facts.embedded();
    const bool signed_as_expected =
        trust_outcome_of(embedded.code) == trust_outcome::valid && expected(embedded);
    file_verdict gravest{signature_status::no_signature, {}, {}};
    if (std::optional<file_verdict> altered = judge_embedded(facts, signed_as_expected, gravest)) {
        return *altered;
    }

    // The package's catalog, signed by an expected signer, is the authority
    // for each file it names: the file must be a build it lists under the
    // file's name (one for each architecture it covers), hashed by the
    // entry's own algorithm, whatever else vouches for it.
    const bool driver_file = location && is_driver_file(*location, file_name);
    const package_catalog& package = location ? judging_catalog(*location) : no_package;
    const std::wstring catalog_text =
        &package == &beside ? package_name : L"the driver package's " + package_name;
    const std::vector<const catalog_member*> entries =
        package.can_vouch() ? package.members_named(file_name)
                            : std::vector<const catalog_member*>();
    bool listed = false;
    const std::string* uncomputed = nullptr;
    for (const catalog_member* entry : entries) {
        if (!facts.computes(entry->algorithm)) {
            uncomputed = &entry->algorithm;
            continue;
        }
        const win::result<win::catalog_hash>& hash = facts.hash(entry->algorithm);
        if (!hash) {
            return hash_failure(hash.error());
        }
        if (hash.value().value == entry->digest) {
            listed = true;
            break;
        }
    }
    if (!listed && uncomputed != nullptr) {
        return unchecked(catalog_text + L" lists a " + algorithm_name(*uncomputed) +
                         L" hash, which this Windows cannot compute");
    }
    const bool authority = expected(package.signature());
    const bool other_build = !entries.empty() && !listed && authority;
    // Whatever vouches for it, a file in the printer driver folder must be
    // a build for that folder's architecture: a catalog that covers both
    // lists the other one's under the same name.
    const std::wstring other_machine =
        driver_file ? wrong_machine(*location, directory, facts) : std::wstring();
    const auto vouched = [&](signature_status status, const std::wstring& signer,
                             std::wstring detail) {
        if (!other_machine.empty()) {
            return file_verdict{signature_status::replaced, signer, other_machine};
        }
        return other_build ? file_verdict{signature_status::replaced, signer,
                                          L"not the file " + catalog_text + L" lists"}
                           : file_verdict{status, signer, std::move(detail)};
    };
    if (listed && signed_as_expected) {
        return vouched(signature_status::embedded_signature, signer_of(embedded), {});
    }
    if (listed && authority) {
        return vouched(signature_status::catalog, signer_of(package.signature()), catalog_text);
    }
    if (listed) {
        keep_gravest(gravest, {signature_status::other_signer, signer_of(package.signature()),
                               catalog_text});
    }
    if (signed_as_expected) {
        return vouched(signature_status::embedded_signature, signer_of(embedded), {});
    }

    if (std::optional<file_verdict> verdict = judge_system_catalogs(
            facts, driver_file ? file_name : std::wstring(), false, gravest)) {
        return verdict->status == signature_status::catalog
                   ? vouched(verdict->status, verdict->signer, verdict->detail)
                   : *verdict;
    }

    if (other_build) {
        keep_gravest(gravest, {signature_status::altered, signer_of(package.signature()),
                               catalog_text + L" lists another hash"});
    }
    return gravest;
}

std::optional<file_verdict> signature_checker::judge_system_catalogs(
    file_facts& facts, const std::wstring& listed_name, bool any_signer,
    file_verdict& gravest) const {
    for (const std::string_view algorithm : win::catalog_hasher::algorithms) {
        if (!facts.computes(algorithm)) {
            continue;
        }
        const win::result<win::catalog_hash>& hash = facts.hash(algorithm);
        if (!hash) {
            return hash_failure(hash.error());
        }
        const win::result<std::vector<std::wstring>> catalogs = win::catalogs_listing(hash.value());
        if (!catalogs) {
            return unchecked(L"the system's catalogs cannot be searched. " +
                             error_code_text(catalogs.error().code));
        }
        const std::wstring tag = member_tag(hash.value());
        for (const std::wstring& catalog : catalogs.value()) {
            if (std::optional<file_verdict> verdict = judge_listing(
                    {catalog, tag, facts.path(), facts.handle(), hash.value().value,
                     hash.value().admin},
                    listed_name, any_signer, gravest)) {
                return verdict;
            }
        }
    }
    return std::nullopt;
}

std::optional<file_verdict> signature_checker::check_claimed(const std::wstring& installed_name,
                                                             file_facts& facts) const {
    const bool trusted = trusted_image({.claimed = true, .embedded = facts.embedded()}, named_);
    file_verdict gravest{signature_status::no_signature, {}, {}};
    if (std::optional<file_verdict> altered = judge_embedded(facts, trusted, gravest)) {
        return altered;
    }
    if (trusted) {
        return std::nullopt;  // no catalog search needed
    }
    // Only administrators add catalogs to the system's store, each of an
    // installed driver package: whoever signed it, it says what Windows
    // installed, under which name, and the claim rule trusts it.
    std::optional<file_verdict> verdict =
        judge_system_catalogs(facts, installed_name, true, gravest);
    if (verdict && verdict->status == signature_status::catalog) {
        return std::nullopt;
    }
    return verdict ? verdict : gravest;
}

bool signature_checker::listed_in_package(install_location location,
                                          const std::wstring& file_name, file_facts& facts) const {
    const package_catalog& package = judging_catalog(location);
    if (!package.can_vouch() || !expected(package.signature())) {
        return false;
    }
    const auto entries = package.members_named(file_name);
    return std::any_of(entries.begin(), entries.end(), [&](const catalog_member* entry) {
        if (!facts.computes(entry->algorithm)) {
            return false;
        }
        const win::result<win::catalog_hash>& hash = facts.hash(entry->algorithm);
        return hash && hash.value().value == entry->digest;
    });
}

std::optional<file_verdict> signature_checker::judge_listing(const win::catalog_member_query& query,
                                                             const std::wstring& listed_name,
                                                             bool any_signer,
                                                             file_verdict& gravest) const {
    const std::wstring& path = query.catalog_path;
    const std::wstring catalog_name = printable_name(path.substr(path.find_last_of(L"\\/") + 1));
    const win::trust_result listed = win::verify_catalog_member(query);
    const std::wstring signer = signer_of(listed);
    switch (trust_outcome_of(listed.code)) {
        case trust_outcome::valid: {
            if (!any_signer && !expected(listed)) {
                keep_gravest(gravest,
                             {signature_status::other_signer, signer, catalog_name});
                break;
            }
            if (listed_name.empty()) {
                return file_verdict{signature_status::catalog, signer, catalog_name};
            }
            // A catalog vouches for a hash under the name it lists it by: the
            // same bytes under the product's name are another vendor's file.
            // Only administrators can change the store's catalogs, as its
            // verification by path takes for granted too.
            const opened_file catalog(path);
            if (!catalog.problem().empty()) {
                return unchecked(catalog_name + L": " + catalog.problem());
            }
            std::wstring name;
            std::wstring problem;
            if (listed_member_name(catalog.handle(), query.member_tag, query.hash, name,
                                   problem)) {
                if (same_file_name(name, listed_name)) {
                    return file_verdict{signature_status::catalog, signer, catalog_name};
                }
                keep_gravest(gravest,
                             {signature_status::replaced, signer,
                              catalog_name + (name.empty()
                                                  ? std::wstring(L" lists it under no name")
                                                  : L" lists it as " + printable_name(name))});
            } else if (!problem.empty()) {
                keep_gravest(gravest, {signature_status::invalid, signer,
                                       catalog_name + L": " + problem});
            }
            break;
        }
        case trust_outcome::altered:
            keep_gravest(gravest, {signature_status::altered, signer,
                                   catalog_name + L": " + trust_failure_text(listed.code)});
            break;
        case trust_outcome::invalid:
        case trust_outcome::no_signature:
            keep_gravest(gravest, {signature_status::invalid, signer,
                                   catalog_name + L": " + trust_failure_text(listed.code)});
            break;
    }
    return std::nullopt;
}

}  // namespace pelmar::signatures
