#pragma once

#include <string>

#include "crypt_provider.h"
#include "file_info.h"

// Inspects files in one directory with the run's CryptoAPI provider.
class file_inspector {
public:
    file_inspector(const crypt_provider& provider, std::wstring directory);

    // Joins the directory and the name with one backslash and reports the
    // file's size, SHA-1 digest and version; a file that cannot be opened,
    // measured or read through gives placeholder values. Only CryptoAPI
    // failures throw (pelmar::crypto::crypto_exception).
    file_info inspect_file(const wchar_t* file_name) const;

private:
    const crypt_provider& provider_;
    std::wstring directory_;
};
