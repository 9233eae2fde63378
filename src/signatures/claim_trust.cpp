#include "claim_trust.h"

#include <algorithm>
#include <string_view>

#include "trust_reason.h"

namespace pelmar::signatures {

namespace {

// The certificate that signs the files Windows itself ships, in-box drivers
// included; a vendor's WHQL package is signed by another one.
constexpr std::wstring_view windows_signer = L"Microsoft Windows";

}  // namespace

bool named_signers::accept(const win::trust_result& signature) const {
    const auto pinned = [&](const std::vector<unsigned char>& thumbprint) {
        return std::find(signature.thumbprints.begin(), signature.thumbprints.end(),
                         thumbprint) != signature.thumbprints.end();
    };
    return (names.empty() ||
            std::find(names.begin(), names.end(), signature.certificate_name) != names.end()) &&
           (thumbprints.empty() || std::any_of(thumbprints.begin(), thumbprints.end(), pinned));
}

bool trusted_image(const image_facts& facts, const named_signers& named) {
    const bool signature_holds = trust_outcome_of(facts.embedded.code) == trust_outcome::valid;
    if (signature_holds && named.any() && named.accept(facts.embedded)) {
        return true;
    }
    return facts.claimed &&
           (facts.listed_by_system_catalog ||
            (signature_holds && facts.embedded.certificate_name == windows_signer));
}

}  // namespace pelmar::signatures
