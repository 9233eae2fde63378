// The rules that turn what was read of a file into its verdict, from facts
// alone: no file is read and no service called.
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <wintrust.h>

#include "signature_table.h"
#include "verdict_policy.h"

using namespace pelmar::signatures;

namespace {

const signature_fact no_signature{};
const signature_fact by_vendor{trust_outcome::valid, 0, L"Pelmar", true};
const signature_fact by_stranger{trust_outcome::valid, 0, L"Stranger", false};
const signature_fact expired{trust_outcome::invalid, CERT_E_EXPIRED, L"Pelmar", true};
const signature_fact tampered{trust_outcome::altered, TRUST_E_BAD_DIGEST, L"Pelmar", true};

store_listing listing(const signature_fact& signature, const std::wstring& name) {
    return {L"oem1.cat", signature, store_listing::naming::named, name};
}

const std::vector<store_search> none_lists_it{{}};

// A row's verdict as "status: detail", or what else the rules answered.
template <typename... answers>
std::wstring said(const std::variant<answers...>& judgement) {
    if (const file_verdict* verdict = std::get_if<file_verdict>(&judgement)) {
        return std::wstring(status_text(verdict->status)) + L": " + detail_text(*verdict);
    }
    return std::holds_alternative<search_store>(judgement) ? L"search the store" : L"silent";
}

}  // namespace

TEST(verdict_policy, a_file_with_its_package_catalog_and_the_store) {
    const package_fact listed{L"pelmaromn.cat", L"Pelmar", true, true, true, {}, {}};
    const package_fact other_build{L"pelmaromn.cat", L"Pelmar", true, true, false, {}, {}};
    const package_fact by_nobody_named{L"pelmaromn.cat", L"Stranger", false, true, true, {}, {}};
    const package_fact sha256_only{L"pelmaromn.cat", L"Pelmar", true, true, false, L"SHA-256", {}};
    const struct {
        const char* name;
        signature_fact embedded;
        package_fact package;
        std::wstring wrong_machine;
        std::vector<store_search> store;
        bool searched;
        std::wstring expected;
    } rows[] = {
        {"nothing vouches", no_signature, {}, {}, none_lists_it, true, L"unsigned: "},
        {"the store is asked before an unsigned file is judged", no_signature, {}, {}, {}, false,
         L"search the store"},
        {"no catalog makes up for a changed file", tampered, listed, {}, {}, false,
         L"altered: content differs from what was signed. Error code: 0x80096010."},
        {"the package's own catalog vouches", no_signature, listed, {}, {}, false,
         L"catalog: pelmaromn.cat"},
        {"another build of the name, signed by the vendor", by_vendor, other_build, {}, {}, false,
         L"replaced: not the file pelmaromn.cat lists"},
        {"another build of the name, unsigned", no_signature, other_build, {}, none_lists_it,
         true, L"altered: pelmaromn.cat lists another hash"},
        {"a package catalog by a signer nobody named", no_signature, by_nobody_named, {},
         none_lists_it, true, L"other signer: pelmaromn.cat"},
        {"a build for the other architecture", by_vendor, listed, L"a 32-bit build in the 64-bit "
         L"driver folder", {}, false, L"replaced: a 32-bit build in the 64-bit driver folder"},
        {"a hash this Windows cannot compute", no_signature, sha256_only, {}, {}, false,
         L"unchecked: pelmaromn.cat lists a SHA-256 hash, which this Windows cannot compute"},
        {"an expired signature, nothing else", expired, {}, {}, none_lists_it, true,
         L"invalid: expired without a timestamp. Error code: 0x800b0101."},
        {"a store catalog lists the driver file in other letter case", no_signature, {}, {},
         {{{}, {listing(by_vendor, L"PMOMNDRV.DLL")}}}, false, L"catalog: oem1.cat"},
        {"a store catalog lists its bytes under another name", no_signature, {}, {},
         {{{}, {listing(by_vendor, L"evil.dll")}}}, true,
         L"replaced: oem1.cat lists it as evil.dll"},
        {"a store catalog by a signer nobody named", no_signature, {}, {},
         {{{}, {listing(by_stranger, L"pmomndrv.dll")}}}, true, L"other signer: oem1.cat"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        open_file_facts facts{row.embedded, row.package, L"pmomndrv.dll", row.wrong_machine,
                              row.store, row.searched};
        EXPECT_EQ(said(judge_open(facts)), row.expected);
    }
}

TEST(verdict_policy, an_image_windows_records_claim) {
    const struct {
        const char* name;
        signature_fact embedded;
        bool trusted;
        std::vector<store_search> store;
        bool searched;
        std::wstring expected;
    } rows[] = {
        {"trusted by its signature alone", by_vendor, true, {}, false, L"silent"},
        {"an expired signature", expired, false, none_lists_it, true,
         L"invalid: expired without a timestamp. Error code: 0x800b0101."},
        {"signed by someone the rule does not trust", by_stranger, false, none_lists_it, true,
         L"other signer: "},
        {"a store catalog by anyone lists it under its name", no_signature, false,
         {{{}, {listing(by_stranger, L"PrintConfig.dll")}}}, false, L"silent"},
        {"a store catalog lists its bytes under another name", no_signature, false,
         {{{}, {listing(by_vendor, L"mimispool.dll")}}}, true,
         L"replaced: oem1.cat lists it as mimispool.dll"},
        {"the store cannot be searched", no_signature, false,
         {{file_verdict{signature_status::unchecked, {}, {{L"the store"}}}, {}}}, false,
         L"unchecked: the store"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        claimed_image_facts facts{row.embedded, row.trusted, L"PrintConfig.dll", row.store,
                                  row.searched};
        EXPECT_EQ(said(judge_claimed_image(facts)), row.expected);
    }
}
