#include "catalogs.h"

#include <bcrypt.h>

#include "scope_exit.h"

namespace pelmar::win {

namespace {

// Windows 8 added both; Wine 8 has the first but not the second, so neither
// may be a static import, which would keep the program from starting. The
// module is the program's own import, loaded from System32 alone.
template <typename function>
[[nodiscard]] function wintrust_function(const char* name) {
    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    return wintrust != nullptr ? reinterpret_cast<function>(
                                     reinterpret_cast<void*>(GetProcAddress(wintrust, name)))
                               : nullptr;
}

// A call that failed without saying why still failed.
[[nodiscard]] win32_error failure(const char* call) {
    const win32_error error = last_error(call);
    return error.code != 0 ? error : win32_error{ERROR_GEN_FAILURE, call};
}

}  // namespace

result<catalog_hasher> catalog_hasher::acquire() {
    catalog_hasher hasher;
    const auto acquire2 =
        wintrust_function<decltype(&CryptCATAdminAcquireContext2)>("CryptCATAdminAcquireContext2");
    hasher.hash_sha256_ = wintrust_function<decltype(&CryptCATAdminCalcHashFromFileHandle2)>(
        "CryptCATAdminCalcHashFromFileHandle2");
    if (acquire2 == nullptr || hasher.hash_sha256_ == nullptr ||
        !acquire2(hasher.sha256_.put(), nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
        hasher.hash_sha256_ = nullptr;
    }
    if (!CryptCATAdminAcquireContext(hasher.sha1_.put(), nullptr, 0)) {
        return last_error("CryptCATAdminAcquireContext");
    }
    return hasher;
}

bool catalog_hasher::computes(std::string_view algorithm) const {
    return algorithm == szOID_OIWSEC_sha1 || (algorithm == szOID_NIST_sha256 && hash_sha256_);
}

result<catalog_hash> catalog_hasher::hash(std::string_view algorithm, HANDLE file) const {
    // Room for any digest the catalog services compute.
    std::array<BYTE, 64> value{};
    auto size = static_cast<DWORD>(value.size());
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        return failure("SetFilePointerEx");
    }
    const bool sha256 = algorithm == szOID_NIST_sha256;
    if (sha256 ? !hash_sha256_(sha256_.get(), file, &size, value.data(), 0)
               : !CryptCATAdminCalcHashFromFileHandle(file, &size, value.data(), 0)) {
        return failure(sha256 ? "CryptCATAdminCalcHashFromFileHandle2"
                              : "CryptCATAdminCalcHashFromFileHandle");
    }
    return catalog_hash{sha256 ? sha256_.get() : sha1_.get(),
                        std::vector<unsigned char>(value.begin(), value.begin() + size)};
}

result<std::vector<std::wstring>> catalogs_listing(const catalog_hash& hash) {
    std::vector<std::wstring> paths;
    std::vector<unsigned char> value = hash.value;
    HCATINFO listing = nullptr;
    // Handed the previous context, the search releases it itself: only the
    // one it stops at is left to release, however the search is left.
    const auto release_listing = scope_exit([&] {
        if (listing != nullptr) {
            CryptCATAdminReleaseCatalogContext(hash.admin, listing, 0);
        }
    });
    for (;;) {
        HCATINFO previous = listing;
        listing = CryptCATAdminEnumCatalogFromHash(hash.admin, value.data(),
                                                   static_cast<DWORD>(value.size()), 0, &previous);
        if (listing == nullptr) {
            // After a catalog, the end of the search, by whatever code: none
            // is documented for it. Before any: not found; or, as Wine's
            // search of the store's folder says it, no catalog there. Any
            // other code is a failure of the service (stopped, or its RPC
            // failed), and no answer.
            const win32_error error = failure("CryptCATAdminEnumCatalogFromHash");
            if (!paths.empty() || error.code == ERROR_NOT_FOUND ||
                error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_NO_MORE_FILES) {
                return paths;
            }
            return error;
        }
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        if (!CryptCATCatalogInfoFromContext(listing, &info, 0)) {
            return failure("CryptCATCatalogInfoFromContext");
        }
        paths.emplace_back(info.wszCatalogFile);
    }
}

}  // namespace pelmar::win
