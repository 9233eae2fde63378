#include "file_version.h"

#include <sstream>
#include <vector>

#include <windows.h>

std::wstring file_version_string(const wchar_t* path) {
    const std::wstring not_available = L"N/A";
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    if (size == 0) {
        return not_available;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) {
        return not_available;
    }
    return fixed_version_text(block.data()).value_or(not_available);
}

std::optional<std::wstring> fixed_version_text(const void* block) {
    void* record = nullptr;
    UINT length = 0;
    // The service hands back whatever length the file claims for the root
    // value; a crafted file may claim less than the structure, and the bytes
    // after a short value belong to something else or lie past the block.
    if (!VerQueryValueW(block, L"\\", &record, &length) || record == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(record);
    std::wostringstream text;
    text << HIWORD(fixed.dwFileVersionMS) << L'.' << LOWORD(fixed.dwFileVersionMS) << L'.'
         << HIWORD(fixed.dwFileVersionLS) << L'.' << LOWORD(fixed.dwFileVersionLS);
    return text.str();
}
