#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>

#include "catalog_handles.h"

// A file's hash as catalogs list it, with the catalog context that computed
// it: the context names the algorithm to the services that look it up.
struct catalog_hash {
    HCATADMIN admin;
    std::vector<unsigned char> value;
};

// One thread's catalog contexts: SHA-256, which catalogs carry since
// Windows 8, where the system can compute it, then SHA-1, which older
// catalogs carry. The hashes are the system's own: for an image it leaves
// out the checksum and the embedded signature, as catalogs do. No two
// threads share one: a context keeps the state of a search through the
// system's catalogs (Wine's keeps its open directory search in it), and
// nothing documents it as safe to use from two threads at once.
class catalog_hasher {
public:
    // Throws pelmar::crypto::crypto_exception when not even the SHA-1
    // context can be acquired.
    catalog_hasher();

    // How many algorithms this system offers: 2 or 1.
    std::size_t algorithms() const { return sha256_ ? 2 : 1; }

    // The open file's hash by algorithm `index` (0 the strongest); nothing
    // when the system cannot hash the file.
    std::optional<catalog_hash> hash(std::size_t index, HANDLE file) const;

private:
    using hash_from_handle2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

    std::optional<unique_catalog_admin> sha256_;
    hash_from_handle2 hash_sha256_ = nullptr;
    std::optional<unique_catalog_admin> sha1_;
};
