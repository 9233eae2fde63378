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
};
constexpr std::size_t signature_status_count = 7;

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
