#include "catalog_members.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <wincrypt.h>
#include <wintrust.h>

#include "unique_handle.h"
#include "whole_file.h"

namespace {

using unique_crypt_message = unique_handle<HCRYPTMSG, CryptMsgClose>;

constexpr DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Decodes into a buffer of the size the decoder asks for; empty when it
// refuses the data.
std::vector<unsigned char> decode(LPCSTR type, const BYTE* data, DWORD size) {
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

// UTF-16 text stored as bytes, up to its terminating null if it has one.
std::wstring utf16_text(const BYTE* data, DWORD size) {
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    text.erase(std::find(text.begin(), text.end(), L'\0'), text.end());
    return text;
}

catalog_member member_of(const CTL_ENTRY& entry) {
    catalog_member member{utf16_text(entry.SubjectIdentifier.pbData, entry.SubjectIdentifier.cbData),
                          {}, {}};
    for (DWORD index = 0; index < entry.cAttribute; ++index) {
        const CRYPT_ATTRIBUTE& attribute = entry.rgAttribute[index];
        if (attribute.cValue == 0) {
            continue;
        }
        const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
        if (std::strcmp(attribute.pszObjId, SPC_INDIRECT_DATA_OBJID) == 0) {
            const auto decoded = decode(SPC_INDIRECT_DATA_OBJID, value.pbData, value.cbData);
            if (!decoded.empty()) {
                const auto& data = *reinterpret_cast<const SPC_INDIRECT_DATA_CONTENT*>(decoded.data());
                member.digest.assign(data.Digest.pbData, data.Digest.pbData + data.Digest.cbData);
            }
        } else if (std::strcmp(attribute.pszObjId, CAT_NAMEVALUE_OBJID) == 0) {
            const auto decoded = decode(CAT_NAMEVALUE_OBJID, value.pbData, value.cbData);
            if (!decoded.empty()) {
                const auto& name = *reinterpret_cast<const CAT_NAMEVALUE*>(decoded.data());
                if (name.pwszTag != nullptr && std::wstring_view(name.pwszTag) == L"File") {
                    member.file_name = utf16_text(name.Value.pbData, name.Value.cbData);
                }
            }
        }
    }
    return member;
}

}  // namespace

std::uint32_t read_catalog_members(HANDLE file, std::vector<catalog_member>& members) {
    // Catalogs are small enough to read whole: a driver package's lists
    // some hundred files in a few hundred KiB.
    std::string bytes;
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        return GetLastError();
    }
    if (const std::uint32_t error_code = read_whole_file(file, 64 << 20, bytes)) {
        return error_code;
    }

    const HCRYPTMSG opened = CryptMsgOpenToDecode(encoding, 0, 0, 0, nullptr, nullptr);
    if (opened == nullptr) {
        return GetLastError();
    }
    const unique_crypt_message message(opened);
    DWORD content_size = 0;
    if (!CryptMsgUpdate(opened, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), TRUE) ||
        !CryptMsgGetParam(opened, CMSG_CONTENT_PARAM, 0, nullptr, &content_size)) {
        return GetLastError();
    }
    std::vector<unsigned char> content(content_size);
    if (!CryptMsgGetParam(opened, CMSG_CONTENT_PARAM, 0, content.data(), &content_size)) {
        return GetLastError();
    }
    const auto trust_list = decode(PKCS_CTL, content.data(), content_size);
    if (trust_list.empty()) {
        return GetLastError();
    }
    const auto& list = *reinterpret_cast<const CTL_INFO*>(trust_list.data());
    for (DWORD index = 0; index < list.cCTLEntry; ++index) {
        catalog_member member = member_of(list.rgCTLEntry[index]);
        if (!member.digest.empty()) {
            members.push_back(std::move(member));
        }
    }
    return 0;
}
