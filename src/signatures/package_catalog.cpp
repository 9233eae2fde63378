#include "package_catalog.h"

#include <algorithm>
#include <cstdint>

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>

#include "catalog_handles.h"
#include "error_code_text.h"
#include "opened_file.h"
#include "trust_reason.h"
#include "trust_verification.h"

namespace {

bool same_file_name(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// The name that a catalog made by the signing tools records for a member in
// its "File" attribute.
std::wstring member_file_name(HANDLE catalog, CRYPTCATMEMBER* member) {
    static const std::wstring file_tag = L"File";
    for (CRYPTCATATTRIBUTE* attribute = CryptCATEnumerateAttr(catalog, member, nullptr);
         attribute != nullptr; attribute = CryptCATEnumerateAttr(catalog, member, attribute)) {
        if (attribute->pwszReferenceTag != nullptr && attribute->pbValue != nullptr &&
            same_file_name(attribute->pwszReferenceTag, file_tag)) {
            std::wstring name(reinterpret_cast<const wchar_t*>(attribute->pbValue),
                              attribute->cbValue / sizeof(wchar_t));
            name.erase(std::find(name.begin(), name.end(), L'\0'), name.end());
            return name;
        }
    }
    return {};
}

}  // namespace

package_catalog::package_catalog(const std::wstring& directory)
    : path_(directory + L'\\' + file_name) {
    const opened_file file(path_);
    if (file.absent()) {
        return;
    }
    if (file.error_code() != 0) {
        verdict_ = {signature_status::unreadable, {},
                    L"cannot be read. " + error_code_text(file.error_code())};
        return;
    }
    const trust_result own = verify_embedded(path_, file.handle());
    switch (trust_outcome_of(own.code)) {
        case trust_outcome::valid:
            verdict_ = {signature_status::embedded_signature, own.signer, {}};
            can_vouch_ = true;
            signer_ = own.signer;
            read_members();
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

void package_catalog::read_members() {
    const HANDLE opened = CryptCATOpen(path_.data(), CRYPTCAT_OPEN_EXISTING, 0, 0, 0);
    if (opened == INVALID_HANDLE_VALUE) {
        verdict_ = {signature_status::invalid, signer_,
                    L"catalog cannot be opened. " + error_code_text(GetLastError())};
        can_vouch_ = false;
        return;
    }
    const unique_catalog catalog(opened);
    for (CRYPTCATMEMBER* member = CryptCATEnumerateMember(opened, nullptr); member != nullptr;
         member = CryptCATEnumerateMember(opened, member)) {
        if (member->pwszReferenceTag == nullptr || member->pIndirectData == nullptr) {
            continue;
        }
        const CRYPT_HASH_BLOB& digest = member->pIndirectData->Digest;
        members_.push_back({member->pwszReferenceTag,
                            std::vector<unsigned char>(digest.pbData, digest.pbData + digest.cbData),
                            member_file_name(opened, member)});
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
