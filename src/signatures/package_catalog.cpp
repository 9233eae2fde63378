#include "package_catalog.h"

#include <algorithm>
#include <cstdint>

#include "error_code_text.h"
#include "opened_file.h"
#include "trust_reason.h"
#include "trust_verification.h"

package_catalog::package_catalog(const std::wstring& directory)
    : path_(directory + L'\\' + file_name) {
    const opened_file file(path_);
    if (file.absent()) {
        return;
    }
    if (!file.problem().empty()) {
        verdict_ = {signature_status::unreadable, {}, file.problem()};
        return;
    }
    const trust_result own = verify_embedded(path_, file.handle());
    switch (trust_outcome_of(own.code)) {
        case trust_outcome::valid:
            verdict_ = {signature_status::embedded_signature, own.signer, {}};
            can_vouch_ = true;
            signer_ = own.signer;
            read_members(file.handle());
            return;
        case trust_outcome::altered:
            verdict_ = {signature_status::altered, own.signer, trust_failure_text(own.code)};
            return;
        case trust_outcome::no_signature:
            // A catalog is nothing but a signature: without one it is damaged.
            verdict_ = {signature_status::invalid, {},
                        L"not a signed catalog. " +
                            error_code_text(static_cast<std::uint32_t>(own.code))};
            return;
        case trust_outcome::invalid:
            verdict_ = {signature_status::invalid, own.signer, trust_failure_text(own.code)};
            return;
    }
}

void package_catalog::read_members(HANDLE file) {
    const std::uint32_t error_code = read_catalog_members(file, members_);
    if (error_code != 0) {
        verdict_ = {signature_status::invalid, signer_,
                    L"catalog cannot be read. " + error_code_text(error_code)};
        can_vouch_ = false;
        members_.clear();
    }
}

const catalog_member* package_catalog::member_with_digest(
    const std::vector<unsigned char>& digest) const {
    const auto found = std::find_if(members_.begin(), members_.end(),
                                    [&](const catalog_member& member) {
                                        return member.digest == digest;
                                    });
    return found != members_.end() ? &*found : nullptr;
}

const catalog_member* package_catalog::member_named(const std::wstring& name) const {
    const auto found = std::find_if(members_.begin(), members_.end(),
                                    [&](const catalog_member& member) {
                                        return !member.file_name.empty() &&
                                               same_file_name(member.file_name, name);
                                    });
    return found != members_.end() ? &*found : nullptr;
}
