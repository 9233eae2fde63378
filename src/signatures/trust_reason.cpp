#include "trust_reason.h"

#include <windows.h>
#include <wintrust.h>

#include "error_code_text.h"

namespace {

const wchar_t* failure_words(std::int32_t code) {
    switch (static_cast<HRESULT>(code)) {
        case TRUST_E_BAD_DIGEST:
            return L"content differs from what was signed";
        case CERT_E_UNTRUSTEDROOT:
            return L"untrusted root";
        case CERT_E_CHAINING:
            return L"no chain to a trusted root";
        case CERT_E_UNTRUSTEDTESTROOT:
            return L"untrusted test root";
        case CERT_E_EXPIRED:
            return L"expired without a timestamp";
        case CERT_E_REVOKED:
        case CRYPT_E_REVOKED:
            return L"revoked";
        case CERT_E_WRONG_USAGE:
            return L"not for code signing";
        case TRUST_E_EXPLICIT_DISTRUST:
            return L"explicitly distrusted";
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return L"no signature";
        default:
            return L"signature not valid";
    }
}

}  // namespace

trust_outcome trust_outcome_of(std::int32_t code) {
    switch (static_cast<HRESULT>(code)) {
        case ERROR_SUCCESS:
            return trust_outcome::valid;
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
        // What Wine says of a file shorter than any signed format's magic
        // number, where Windows says TRUST_E_SUBJECT_FORM_UNKNOWN.
        case ERROR_INVALID_PARAMETER:
            return trust_outcome::no_signature;
        case TRUST_E_BAD_DIGEST:
            return trust_outcome::altered;
        default:
            return trust_outcome::invalid;
    }
}

std::wstring trust_failure_text(std::int32_t code) {
    return std::wstring(failure_words(code)) + L". " +
           error_code_text(static_cast<std::uint32_t>(code));
}
