#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmar::signatures {

// What the check says about one file; status_text spells it as its row's
// first column does, in this order.
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
    // A library the registry names for the spooler to load is not there.
    missing,
    // A setting that lets others add what the spooler loads.
    exposed,
};
constexpr std::size_t signature_status_count = 11;

constexpr std::wstring_view status_text(signature_status status) {
    constexpr std::array<std::wstring_view, signature_status_count> texts{
        L"signed",     L"catalog",      L"unsigned", L"altered",  L"invalid",
        L"unreadable", L"other signer", L"replaced", L"unchecked", L"missing",
        L"exposed"};
    return texts[static_cast<std::size_t>(status)];
}

// One reason a row gives: its words and, where a call or a signature failed,
// the code that says how ("cannot be read", 0x20); the writers spell it.
struct reason {
    reason(std::wstring text, std::optional<std::uint32_t> failure = std::nullopt)
        : words(std::move(text)), code(failure) {}

    std::wstring words;
    std::optional<std::uint32_t> code;
};

// One file's row: its status, who signed it (empty when nobody did, or the
// signature named nobody) and what explains the status (the catalog that
// lists the file, or why the signature failed, with the code), most general
// first: "named by no installed driver", "an executable image", ...
struct file_verdict {
    signature_status status;
    std::wstring signer;
    std::vector<reason> reasons;
};

}  // namespace pelmar::signatures
