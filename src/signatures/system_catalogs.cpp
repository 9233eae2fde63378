#include "system_catalogs.h"

std::wstring system_catalog_listing(const catalog_hash& hash) {
    std::vector<unsigned char> value = hash.value;
    const HCATINFO listing = CryptCATAdminEnumCatalogFromHash(
        hash.admin, value.data(), static_cast<DWORD>(value.size()), 0, nullptr);
    if (listing == nullptr) {
        return {};
    }
    CATALOG_INFO info{};
    info.cbStruct = sizeof info;
    const bool named = CryptCATCatalogInfoFromContext(listing, &info, 0) != FALSE;
    CryptCATAdminReleaseCatalogContext(hash.admin, listing, 0);
    return named ? std::wstring(info.wszCatalogFile) : std::wstring();
}

std::wstring member_tag(const catalog_hash& hash) {
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring tag;
    for (const unsigned char byte : hash.value) {
        tag += digits[byte >> 4];
        tag += digits[byte & 0x0F];
    }
    return tag;
}
