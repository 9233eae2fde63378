#include "catalog_hasher.h"

#include <array>

#include <bcrypt.h>

#include "win32_exception.h"

namespace {

using acquire_context2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR,
                                       PCCERT_STRONG_SIGN_PARA, DWORD);

// Windows 8 added both; Wine 8 has the first but not the second, so neither
// may be a static import, which would keep the program from starting. The
// module is the program's own import, loaded from System32 alone.
template <typename function>
function wintrust_function(const char* name) {
    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    return wintrust != nullptr ? reinterpret_cast<function>(
                                     reinterpret_cast<void*>(GetProcAddress(wintrust, name)))
                               : nullptr;
}

}  // namespace

catalog_hasher::catalog_hasher() {
    const auto acquire2 = wintrust_function<acquire_context2>("CryptCATAdminAcquireContext2");
    hash_sha256_ = wintrust_function<hash_from_handle2>("CryptCATAdminCalcHashFromFileHandle2");
    HCATADMIN admin = nullptr;
    if (acquire2 != nullptr && hash_sha256_ != nullptr &&
        acquire2(&admin, nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
        sha256_.emplace(admin);
    }
    if (!CryptCATAdminAcquireContext(&admin, nullptr, 0)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
    sha1_.emplace(admin);
}

std::optional<catalog_hash> catalog_hasher::hash(std::size_t index, HANDLE file) const {
    // Room for any digest the catalog services compute.
    std::array<BYTE, 64> value{};
    auto size = static_cast<DWORD>(value.size());
    SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    const bool sha256 = sha256_ && index == 0;
    const HCATADMIN admin = sha256 ? sha256_->get() : sha1_->get();
    const BOOL computed = sha256 ? hash_sha256_(admin, file, &size, value.data(), 0)
                                 : CryptCATAdminCalcHashFromFileHandle(file, &size, value.data(), 0);
    if (!computed || size > value.size()) {
        return std::nullopt;
    }
    return catalog_hash{admin, std::vector<unsigned char>(value.begin(), value.begin() + size)};
}
