#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>

#include "unique_handle.h"

inline void release_catalog_admin(HCATADMIN admin) {
    CryptCATAdminReleaseContext(admin, 0);
}

// A catalog context of CryptCATAdminAcquireContext or ...AcquireContext2.
using unique_catalog_admin = unique_handle<HCATADMIN, release_catalog_admin>;
