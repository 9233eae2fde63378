#pragma once

// The catalog services as Windows 8 declares them: CryptCATAdminAcquireContext2,
// CryptCATAdminCalcHashFromFileHandle2 and WINTRUST_CATALOG_INFO's hCatAdmin.
// The Windows SDK declares them only where the build asks for Windows 8, and
// a source built without would see a smaller structure; mingw-w64 declares
// the functions regardless, so without this check a missing setting builds
// here and fails with Visual Studio. The build settings every target links
// ask for Windows 8.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#if NTDDI_VERSION < 0x06020000
#error "the catalog services need NTDDI_VERSION 0x06020000 (Windows 8) or later"
#endif
