#include "package_catalog.h"

#include <cstdint>
#include <variant>

#include "opened_file.h"
#include "printable_name.h"
#include "trust_reason.h"
#include "whole_file.h"

namespace pelmar::signatures {

reason catalog_problem_reason(const win::catalog_problem& problem) {
    const std::wstring malformed = L"malformed catalog: ";
    switch (problem.fault) {
        using enum win::catalog_fault;
        case undecodable:
            return {L"catalog cannot be read", problem.code};
        case signs_something_else:
            return {L"not a catalog: it signs something else"};
        case other_trust_list:
            return {L"not a catalog: a trust list of another kind"};
        case tag_not_text:
            return {malformed + L"a tag that is not text"};
        case attribute_values:
            return {malformed + L"an attribute with more values than one"};
        case attribute_unreadable:
            return {malformed + L"an attribute that cannot be read"};
        case two_digests:
            return {malformed + L"an entry with two digests"};
        case two_file_names:
            return {malformed + L"an entry with two file names"};
        case file_name_not_text:
            return {malformed + L"a file name that is not text"};
        case no_digest:
            return {malformed + L"an entry without a digest"};
        case tag_twice:
            return {malformed + L"a tag listed twice"};
    }
    return {malformed};
}

std::optional<file_verdict> read_catalog_bytes(HANDLE file, std::string& bytes) {
    const win::status failure = win::read_whole_file(file, package_catalog::most_bytes, bytes);
    if (!failure) {
        return std::nullopt;
    }
    return failure->code == ERROR_FILE_TOO_LARGE
               ? file_verdict{signature_status::invalid, {}, {{L"too large"}}}
               : file_verdict{signature_status::unreadable, {}, {{L"cannot be read", failure->code}}};
}

package_catalog::package_catalog(const std::wstring& directory) {
    const std::wstring path = directory + L'\\' + file_name;
    // One handle for all of it, which nobody may write while it is open (an
    // open that others may not share fails rather than wait): the bytes
    // whose signature is verified through it are the bytes read through it,
    // and so the bytes decoded.
    const opened_file file(path, false);
    if (file.absent()) {
        return;
    }
    if (!file.readable()) {
        verdict_ = {signature_status::unreadable, {}, {file.problem()}};
        return;
    }
    std::string bytes;
    if (std::optional<file_verdict> failure = read_catalog_bytes(file.handle(), bytes)) {
        verdict_ = std::move(failure);
        return;
    }
    signature_ = win::verify_embedded(path, file.handle());
    const std::wstring signer = printable_name(signature_.certificate_name);
    switch (trust_outcome_of(signature_.code)) {
        case trust_outcome::valid:
            verdict_ = {signature_status::embedded_signature, signer, {}};
            break;
        case trust_outcome::altered:
            verdict_ = {signature_status::altered, signer, {trust_failure(signature_.code)}};
            return;
        case trust_outcome::no_signature:
            // A catalog is nothing but a signature: without one it is damaged.
            verdict_ = {signature_status::invalid,
                        {},
                        {{L"not a signed catalog", static_cast<std::uint32_t>(signature_.code)}}};
            return;
        case trust_outcome::invalid:
            verdict_ = {signature_status::invalid, signer, {trust_failure(signature_.code)}};
            return;
    }
    auto members = win::read_catalog_members(bytes);
    if (const auto* problem = std::get_if<win::catalog_problem>(&members)) {
        verdict_ = {signature_status::invalid, signer, {catalog_problem_reason(*problem)}};
        return;
    }
    members_ = std::get<std::vector<win::catalog_member>>(std::move(members));
    can_vouch_ = true;
}

std::vector<const win::catalog_member*> package_catalog::members_named(
    const std::wstring& name) const {
    std::vector<const win::catalog_member*> named;
    for (const win::catalog_member& member : members_) {
        if (win::same_file_name(member.file_name, name)) {
            named.push_back(&member);
        }
    }
    return named;
}

}  // namespace pelmar::signatures
