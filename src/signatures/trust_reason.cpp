#include "trust_reason.h"

#include <algorithm>
#include <iterator>

#include <windows.h>
#include <wintrust.h>


namespace pelmar::signatures {

namespace {

struct known_code {
    HRESULT code;
    trust_outcome outcome;
    const wchar_t* words;
};

constexpr known_code known_codes[] = {
    {ERROR_SUCCESS, trust_outcome::valid, L"valid"},
    {TRUST_E_NOSIGNATURE, trust_outcome::no_signature, L"no signature"},
    {TRUST_E_SUBJECT_FORM_UNKNOWN, trust_outcome::no_signature, L"no signature"},
    {TRUST_E_PROVIDER_UNKNOWN, trust_outcome::no_signature, L"no signature"},
    // What Wine says of a file shorter than any signed format's magic
    // number, where Windows says TRUST_E_SUBJECT_FORM_UNKNOWN.
    {ERROR_INVALID_PARAMETER, trust_outcome::no_signature, L"signature not valid"},
    {TRUST_E_BAD_DIGEST, trust_outcome::altered, L"content differs from what was signed"},
    {CERT_E_UNTRUSTEDROOT, trust_outcome::invalid, L"untrusted root"},
    {CERT_E_CHAINING, trust_outcome::invalid, L"no chain to a trusted root"},
    {CERT_E_UNTRUSTEDTESTROOT, trust_outcome::invalid, L"untrusted test root"},
    {CERT_E_EXPIRED, trust_outcome::invalid, L"expired without a timestamp"},
    {CERT_E_REVOKED, trust_outcome::invalid, L"revoked"},
    {CRYPT_E_REVOKED, trust_outcome::invalid, L"revoked"},
    {CERT_E_WRONG_USAGE, trust_outcome::invalid, L"not for code signing"},
    {TRUST_E_EXPLICIT_DISTRUST, trust_outcome::invalid, L"explicitly distrusted"},
};

constexpr known_code other{0, trust_outcome::invalid, L"signature not valid"};

const known_code& reason_of(std::int32_t code) {
    const auto found = std::find_if(std::begin(known_codes), std::end(known_codes),
                                    [&](const known_code& known) { return known.code == code; });
    return found != std::end(known_codes) ? *found : other;
}

}  // namespace

trust_outcome trust_outcome_of(std::int32_t code) {
    return reason_of(code).outcome;
}

reason trust_failure(std::int32_t code, const std::wstring& prefix) {
    return {prefix + reason_of(code).words, static_cast<std::uint32_t>(code)};
}

}  // namespace pelmar::signatures
