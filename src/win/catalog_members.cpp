#include "catalog_members.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_set>

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include "folder_listing.h"
#include "unique_handle.h"

namespace pelmar::win {

namespace {

using unique_crypt_message = unique_handle<HCRYPTMSG, CryptMsgClose>;

constexpr DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// What a trust list is for when it is a catalog (szOID_CATALOG_LIST, which
// not every SDK's mscat.h spells).
constexpr std::string_view catalog_list_usage = "1.3.6.1.4.1.311.12.1.1";

// Decodes into a buffer of the size the decoder asks for; empty when it
// refuses the data.
[[nodiscard]] std::vector<unsigned char> decode(LPCSTR type, const BYTE* data, DWORD size) {
    DWORD needed = 0;
    if (!CryptDecodeObject(encoding, type, data, size, 0, nullptr, &needed)) {
        return {};
    }
    std::vector<unsigned char> decoded(needed);
    if (!CryptDecodeObject(encoding, type, data, size, 0, decoded.data(), &needed)) {
        return {};
    }
    return decoded;
}

// UTF-16 text as the signing tools store it: whole units, and no null but
// one at the end. False for anything else, which could make two different
// entries read as one.
[[nodiscard]] bool utf16_text(const BYTE* data, DWORD size, std::wstring& text) {
    if (size % sizeof(wchar_t) != 0) {
        return false;
    }
    text.assign(size / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data, size);
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return !text.empty() && text.find(L'\0') == std::wstring::npos;
}

// The member an entry lists, or why it is not as the signing tools write it.
[[nodiscard]] std::optional<catalog_fault> read_member(const CTL_ENTRY& entry,
                                                       catalog_member& member) {
    if (!utf16_text(entry.SubjectIdentifier.pbData, entry.SubjectIdentifier.cbData, member.tag)) {
        return catalog_fault::tag_not_text;
    }
    for (DWORD index = 0; index < entry.cAttribute; ++index) {
        const CRYPT_ATTRIBUTE& attribute = entry.rgAttribute[index];
        const std::string_view type = attribute.pszObjId;
        if (type != SPC_INDIRECT_DATA_OBJID && type != CAT_NAMEVALUE_OBJID) {
            continue;
        }
        if (attribute.cValue != 1) {
            return catalog_fault::attribute_values;
        }
        const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
        const auto decoded = decode(attribute.pszObjId, value.pbData, value.cbData);
        if (decoded.empty()) {
            return catalog_fault::attribute_unreadable;
        }
        if (type == SPC_INDIRECT_DATA_OBJID) {
            const auto& data = *reinterpret_cast<const SPC_INDIRECT_DATA_CONTENT*>(decoded.data());
            if (!member.digest.empty()) {
                return catalog_fault::two_digests;
            }
            member.algorithm = data.DigestAlgorithm.pszObjId;
            member.digest.assign(data.Digest.pbData, data.Digest.pbData + data.Digest.cbData);
        } else {
            const auto& name = *reinterpret_cast<const CAT_NAMEVALUE*>(decoded.data());
            if (name.pwszTag == nullptr || std::wstring_view(name.pwszTag) != L"File") {
                continue;
            }
            if (!member.file_name.empty()) {
                return catalog_fault::two_file_names;
            }
            if (!utf16_text(name.Value.pbData, name.Value.cbData, member.file_name)) {
                return catalog_fault::file_name_not_text;
            }
        }
    }
    if (member.digest.empty()) {
        return catalog_fault::no_digest;
    }
    return std::nullopt;
}

// The trust list a catalog's bytes sign, decoded into `trust_list`; why it
// cannot be, or nothing.
[[nodiscard]] std::optional<catalog_problem> read_trust_list(
    const std::string& bytes, std::vector<unsigned char>& trust_list) {
    const unique_crypt_message message(CryptMsgOpenToDecode(encoding, 0, 0, 0, nullptr, nullptr));
    DWORD size = 0;
    std::string inner_type;
    std::vector<unsigned char> content;
    const bool read =
        message &&
        CryptMsgUpdate(message.get(), reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()), TRUE) &&
        CryptMsgGetParam(message.get(), CMSG_INNER_CONTENT_TYPE_PARAM, 0, nullptr, &size) &&
        (inner_type.resize(size), CryptMsgGetParam(message.get(), CMSG_INNER_CONTENT_TYPE_PARAM, 0,
                                                   inner_type.data(), &size)) &&
        CryptMsgGetParam(message.get(), CMSG_CONTENT_PARAM, 0, nullptr, &size) &&
        (content.resize(size),
         CryptMsgGetParam(message.get(), CMSG_CONTENT_PARAM, 0, content.data(), &size));
    if (!read) {
        return catalog_problem{catalog_fault::undecodable, GetLastError()};
    }
    if (inner_type.c_str() != std::string_view(szOID_CTL)) {
        return catalog_problem{catalog_fault::signs_something_else};
    }
    trust_list = decode(PKCS_CTL, content.data(), size);
    if (trust_list.empty()) {
        return catalog_problem{catalog_fault::undecodable, GetLastError()};
    }
    const auto& list = *reinterpret_cast<const CTL_INFO*>(trust_list.data());
    if (list.SubjectUsage.cUsageIdentifier != 1 ||
        list.SubjectUsage.rgpszUsageIdentifier[0] != catalog_list_usage) {
        return catalog_problem{catalog_fault::other_trust_list};
    }
    return std::nullopt;
}

}  // namespace

std::variant<std::vector<catalog_member>, catalog_problem> read_catalog_members(
    const std::string& bytes) {
    std::vector<unsigned char> trust_list;
    if (const std::optional<catalog_problem> problem = read_trust_list(bytes, trust_list)) {
        return *problem;
    }
    const auto& list = *reinterpret_cast<const CTL_INFO*>(trust_list.data());
    // A package of many files lists thousands: the tags seen are looked
    // up, not searched.
    std::unordered_set<std::wstring> tags;
    std::vector<catalog_member> members;
    for (DWORD index = 0; index < list.cCTLEntry; ++index) {
        catalog_member member;
        if (const std::optional<catalog_fault> fault = read_member(list.rgCTLEntry[index], member)) {
            return catalog_problem{*fault};
        }
        // One name may carry several hashes, one for each architecture's
        // copy; a tag is the one key the catalog services look a member up
        // by, so two entries of one tag could each be read for the other.
        if (!tags.insert(member.tag).second) {
            return catalog_problem{catalog_fault::tag_twice};
        }
        members.push_back(std::move(member));
    }
    return members;
}

std::variant<std::optional<catalog_member>, catalog_problem> read_catalog_member(
    const std::string& bytes, const std::wstring& tag) {
    std::vector<unsigned char> trust_list;
    if (const std::optional<catalog_problem> problem = read_trust_list(bytes, trust_list)) {
        return *problem;
    }
    const auto& list = *reinterpret_cast<const CTL_INFO*>(trust_list.data());
    for (DWORD index = 0; index < list.cCTLEntry; ++index) {
        const CRYPT_DATA_BLOB& identifier = list.rgCTLEntry[index].SubjectIdentifier;
        std::wstring entry_tag;
        if (utf16_text(identifier.pbData, identifier.cbData, entry_tag) &&
            same_file_name(entry_tag, tag)) {
            catalog_member found;
            if (const std::optional<catalog_fault> fault =
                    read_member(list.rgCTLEntry[index], found)) {
                return catalog_problem{*fault};
            }
            return std::optional(std::move(found));
        }
    }
    return std::optional<catalog_member>();
}

}  // namespace pelmar::win
