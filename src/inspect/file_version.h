#pragma once

#include <string>

#include <windows.h>

// The fixed file version of the file at path as a.b.c.d, or "N/A" when the
// file has no readable version resource. Throws nothing of its own.
std::wstring file_version_string(const wchar_t* path);

// The four 16-bit words of the fixed file version as a.b.c.d, in plain decimal.
std::wstring fixed_version_text(const VS_FIXEDFILEINFO& fixed);
