#pragma once

#include <cstdint>
#include <string>

namespace pelmar::signatures {

// How a WinVerifyTrust result reads for the file it was about.
enum class trust_outcome {
    valid,
    no_signature,  // none there, or a file of a kind that cannot carry one
    altered,       // the content no longer matches what was signed
    invalid,       // signed, but the signature fails for another reason
};

[[nodiscard]] trust_outcome trust_outcome_of(std::int32_t code);

// Why the signature failed, in words, with the code: "untrusted root. Error
// code: 0x800b0109."
[[nodiscard]] std::wstring trust_failure_text(std::int32_t code);

}  // namespace pelmar::signatures
