#include "catalog_hasher.h"

#include <bcrypt.h>

#include "win32_exception.h"

namespace pelmar::signatures {

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

[[nodiscard]] std::uint32_t last_error() {
    const DWORD code = GetLastError();
    // A call that failed without saying why still failed.
    return code != 0 ? code : ERROR_GEN_FAILURE;
}

}  // namespace

catalog_hasher::catalog_hasher() {
    const auto acquire2 =
        wintrust_function<decltype(&CryptCATAdminAcquireContext2)>("CryptCATAdminAcquireContext2");
    hash_sha256_ = wintrust_function<decltype(&CryptCATAdminCalcHashFromFileHandle2)>(
        "CryptCATAdminCalcHashFromFileHandle2");
    if (acquire2 == nullptr || hash_sha256_ == nullptr ||
        !acquire2(sha256_.put(), nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) {
        hash_sha256_ = nullptr;
    }
    if (!CryptCATAdminAcquireContext(sha1_.put(), nullptr, 0)) {
        throw pelmar::crypto::crypto_exception(GetLastError());
    }
}

bool catalog_hasher::computes(std::string_view algorithm) const {
    return algorithm == szOID_OIWSEC_sha1 || (algorithm == szOID_NIST_sha256 && hash_sha256_);
}

std::uint32_t catalog_hasher::hash(std::string_view algorithm, HANDLE file,
                                   catalog_hash& hash) const {
    // Room for any digest the catalog services compute.
    std::array<BYTE, 64> value{};
    auto size = static_cast<DWORD>(value.size());
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        return last_error();
    }
    const bool sha256 = algorithm == szOID_NIST_sha256;
    const BOOL computed =
        sha256 ? hash_sha256_(sha256_.get(), file, &size, value.data(), 0)
               : CryptCATAdminCalcHashFromFileHandle(file, &size, value.data(), 0);
    if (!computed) {
        return last_error();
    }
    hash = {sha256 ? sha256_.get() : sha1_.get(),
            std::vector<unsigned char>(value.begin(), value.begin() + size)};
    return 0;
}

}  // namespace pelmar::signatures
