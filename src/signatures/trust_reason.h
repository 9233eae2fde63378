#pragma once

#include <cstdint>
#include <string>

#include "file_verdict.h"

namespace pelmar::signatures {

// How the result of Windows' trust verification reads for the file it was
// about.
enum class trust_outcome {
    valid,
    no_signature,  // none there, or a file of a kind that cannot carry one
    altered,       // the content no longer matches what was signed
    invalid,       // signed, but the signature fails for another reason
};

[[nodiscard]] trust_outcome trust_outcome_of(std::int32_t code);

// Why the signature failed: its words and its code ("untrusted root",
// 0x800b0109), with `prefix` before the words (a catalog's name).
[[nodiscard]] reason trust_failure(std::int32_t code, const std::wstring& prefix = {});

}  // namespace pelmar::signatures
