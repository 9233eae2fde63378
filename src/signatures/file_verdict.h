#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the check says about one file, as its row's first column spells it.
enum class signature_status {
    embedded_signature,  // "signed"
    catalog,
    no_signature,  // "unsigned"
    altered,
    invalid,
    unreadable,
    other_signer,
    // Vouched for by an expected signer, but not the build that the
    // package's catalog lists for it.
    replaced,
    // Could not be checked: an error, or a hash this system cannot compute.
    unchecked,
};
constexpr std::size_t signature_status_count = 9;

constexpr std::wstring_view status_text(signature_status status) {
    switch (status) {
        case signature_status::embedded_signature:
            return L"signed";
        case signature_status::catalog:
            return L"catalog";
        case signature_status::no_signature:
            return L"unsigned";
        case signature_status::altered:
            return L"altered";
        case signature_status::invalid:
            return L"invalid";
        case signature_status::unreadable:
            return L"unreadable";
        case signature_status::other_signer:
            return L"other signer";
        case signature_status::replaced:
            return L"replaced";
        case signature_status::unchecked:
            return L"unchecked";
    }
    return {};
}

// One file's row: its status, who signed it (empty when nobody did, or the
// signature named nobody) and what explains the status (the catalog that
// lists the file, or why the signature failed, with the code).
struct file_verdict {
    signature_status status;
    std::wstring signer;
    std::wstring detail;
};
