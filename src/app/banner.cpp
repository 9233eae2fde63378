#include "banner.h"

#include <string>

#include <windows.h>

#include "version_info.h"
#include "win32_exception.h"

void print_banner(std::wostream& out) {
    out << L"Pelmar Omni Print Driver Information Utility";
    std::wstring path(MAX_PATH, L'\0');
    if (GetModuleFileNameW(GetModuleHandleW(nullptr), path.data(), MAX_PATH) != 0) {
        try {
            const version_info info(path.c_str());
            out << L' ' << info.version_text();
        } catch (const file_version_exception&) {
            // Without its version the banner is still worth showing.
        }
    }
    out << L'\n' << L"Copyright (c) Pelmar. All rights reserved." << L"\n\n";
}
