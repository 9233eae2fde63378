#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "file_verdict.h"
#include "trust_reason.h"

namespace pelmar::signatures {

// The rules that turn what was read of a file into its verdict. They read
// no file and call no service. The system's catalogs are searched only as
// far as needed: while nothing in what was found so far decides, the rules
// ask for more of the store (search_store), and the caller reads the next
// listing, or searches by the next algorithm, and asks again.

// A signature as the rules read it.
struct signature_fact {
    trust_outcome outcome = trust_outcome::no_signature;
    std::int32_t code = 0;  // the verification's, for the words of a failure
    std::wstring signer;    // as a row shows it
    bool expected = false;  // by a signer the user named, or any where none is
};

// One catalog of the system's store that lists the file's hash.
struct store_listing {
    std::wstring catalog;  // its file name, as a row shows it
    signature_fact signature;
    // Under which name the catalog lists the file, read where the rules need
    // a name and the catalog's signature is valid.
    enum class naming {
        not_read,
        named,       // `name`, empty where the entry names no file
        not_listed,  // no entry with the file's tag and hash
        unreadable,  // the catalog cannot be opened: `problem` says why
        malformed,   // its bytes cannot be read as a catalog: `problem` says why
    } naming = naming::not_read;
    std::wstring name{};
    reason problem{L""};
};

// The store searched by one algorithm: the catalogs that list the file's
// hash, or the verdict of a failure (the hash, or the search).
struct store_search {
    std::optional<file_verdict> failure;
    std::vector<store_listing> listings;
};

// What the package catalog that judges a file says of it.
struct package_fact {
    std::wstring catalog;   // as a row names it
    std::wstring signer;    // its own signature's, as a row shows it
    bool authority = false;  // it can vouch, signed by an expected signer
    bool names_it = false;   // it can vouch, and lists entries under the file's name
    bool lists_it = false;   // one of those has the file's hash
    // An entry's algorithm this system cannot compute, where none matched.
    std::wstring uncomputed;
    // Where the file's hash by an entry's algorithm failed.
    std::optional<file_verdict> hash_failure;
};

struct search_store {};
struct silent {};

// A file judged with its package catalog, where one speaks: a driver file
// or one that nobody claims.
struct open_file_facts {
    signature_fact embedded;
    package_fact package;
    // The name a store catalog must list a driver file by; empty for others.
    std::wstring driver_name;
    // Why a driver file is no build for its folder's architecture; empty.
    std::wstring wrong_machine;
    // The searches made so far, by the system's algorithms in order, and
    // whether the store was searched by all of them.
    std::vector<store_search> store;
    bool store_searched = false;
};
[[nodiscard]] std::variant<file_verdict, search_store> judge_open(const open_file_facts& facts);

// An executable image that Windows' records claim under `installed_name`,
// which the claim rule trusted by its signature alone where `trusted`.
struct claimed_image_facts {
    signature_fact embedded;
    bool trusted = false;
    std::wstring installed_name;
    std::vector<store_search> store;
    bool store_searched = false;
};
[[nodiscard]] std::variant<file_verdict, silent, search_store> judge_claimed_image(
    const claimed_image_facts& facts);

}  // namespace pelmar::signatures
