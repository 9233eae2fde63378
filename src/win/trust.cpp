#include "trust.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <bcrypt.h>

#include "scope_exit.h"

namespace pelmar::win {

namespace {

GUID generic_verify = WINTRUST_ACTION_GENERIC_VERIFY_V2;

const HWND no_user_interface = reinterpret_cast<HWND>(INVALID_HANDLE_VALUE);

// The signing certificate's simple display name, as the certificate holds
// it, and the SHA-1 and SHA-256 thumbprints of each certificate in its
// chain, from what the verification kept in its state.
void read_signer(HANDLE state, trust_result& result) {
    CRYPT_PROVIDER_DATA* const provider = WTHelperProvDataFromStateData(state);
    const CRYPT_PROVIDER_SGNR* const signer =
        provider != nullptr ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->pasCertChain == nullptr) {
        return;
    }
    for (DWORD index = 0; index < signer->csCertChain; ++index) {
        const PCCERT_CONTEXT certificate = signer->pasCertChain[index].pCert;
        if (certificate == nullptr) {
            continue;
        }
        if (index == 0) {
            const DWORD size = CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                                  nullptr, nullptr, 0);
            result.certificate_name.assign(size, L'\0');
            CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                               result.certificate_name.data(), size);
            // The size counts the terminating null, which is always there.
            result.certificate_name.resize(size > 0 ? size - 1 : 0);
        }
        for (const wchar_t* algorithm : {BCRYPT_SHA1_ALGORITHM, BCRYPT_SHA256_ALGORITHM}) {
            std::vector<unsigned char> thumbprint(32);
            auto size = static_cast<DWORD>(thumbprint.size());
            if (CryptHashCertificate2(algorithm, 0, nullptr, certificate->pbCertEncoded,
                                      certificate->cbCertEncoded, thumbprint.data(), &size)) {
                thumbprint.resize(size);
                result.thumbprints.push_back(std::move(thumbprint));
            }
        }
    }
}

[[nodiscard]] trust_result verify(WINTRUST_DATA& data) {
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // Offline, so that a machine on an isolated network answers at once:
    // no revocation check, and only what the URL cache already holds.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    LONG code = WinVerifyTrust(no_user_interface, &generic_verify, &data);
    // As Microsoft's own sample reads it: "no signature" says so only when
    // the last error agrees; otherwise the signature was damaged or the
    // file could not be read, and the last error says which.
    const DWORD last_error = GetLastError();
    if (code == TRUST_E_NOSIGNATURE && last_error != 0 &&
        last_error != static_cast<DWORD>(TRUST_E_NOSIGNATURE) &&
        last_error != static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN) &&
        last_error != static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN)) {
        code = static_cast<LONG>(last_error);
    }
    // Frees what the verification kept in its state (chains, messages,
    // stores), whatever happens once it ran.
    const auto close_state = scope_exit([&data] {
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(no_user_interface, &generic_verify, &data);
    });
    trust_result result{static_cast<std::int32_t>(code), {}, {}};
    read_signer(data.hWVTStateData, result);
    return result;
}

}  // namespace

trust_result verify_embedded(const std::wstring& path, HANDLE file) {
    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof file_info;
    file_info.pcwszFilePath = path.c_str();
    file_info.hFile = file;
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    return verify(data);
}

trust_result verify_catalog_member(const catalog_member_query& query) {
    std::vector<unsigned char> hash = query.hash;
    // Built with Windows 8's headers, where hCatAdmin names the context, and
    // with it the hash algorithm, that computed the member's hash; Windows 7
    // reads only the fields it knows, as cbStruct tells it.
    WINTRUST_CATALOG_INFO catalog{};
    catalog.cbStruct = sizeof catalog;
    catalog.pcwszCatalogFilePath = query.catalog_path.c_str();
    catalog.pcwszMemberTag = query.member_tag.c_str();
    catalog.pcwszMemberFilePath = query.file_path.c_str();
    catalog.hMemberFile = query.file;
    catalog.pbCalculatedFileHash = hash.data();
    catalog.cbCalculatedFileHash = static_cast<DWORD>(hash.size());
    catalog.hCatAdmin = query.admin;
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &catalog;
    SetFilePointerEx(query.file, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    return verify(data);
}

}  // namespace pelmar::win
