#pragma once

#include <string>
#include <vector>

#include "trust.h"

namespace pelmar::signatures {

// The signers the user named with --signer (simple display names, compared
// exactly) and --thumbprint (SHA-1 or SHA-256 thumbprints, of which a
// signature's chain must hold one).
struct named_signers {
    std::vector<std::wstring> names;
    std::vector<std::vector<unsigned char>> thumbprints;

    [[nodiscard]] bool any() const { return !names.empty() || !thumbprints.empty(); }
    // Whether `signature` meets each list that is given: with none given,
    // every signature does.
    [[nodiscard]] bool accept(const win::trust_result& signature) const;
};

// What is known of an executable image found in the spooler's folders or
// another place that Windows loads code from.
struct image_facts {
    // Windows' own records name it: a driver, a print processor, a module
    // Windows loads.
    bool claimed = false;
    // Its embedded Authenticode signature, as Windows verified it.
    const win::trust_result& embedded;
    // A validly signed catalog in the system's store lists its hash under
    // the name Windows installed it by: it came in an installed driver
    // package, in-box or a vendor's.
    bool listed_by_system_catalog = false;
};

// Whether such an image may stay silent. A claimed one only where Windows
// installed it: the system's store lists it under its own name, or it is
// signed by Microsoft's in-box signer or by a signer the user named. An
// unclaimed one only where a signer the user named signed it: a catalog of
// the store speaks for every vendor whose package went through Windows
// Update, not for a file no driver names. (The product's own pelmaromn.cat
// accounts for its files before any of this is asked.)
// More listings never trust less: a caller may ask first without searching
// the catalogs, and search them only where that answer is no.
[[nodiscard]] bool trusted_image(const image_facts& facts, const named_signers& named);

}  // namespace pelmar::signatures
