#include "file_version.h"

#include <sstream>
#include <vector>

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
    void* record = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &record, &length)) {
        return not_available;
    }
    return fixed_version_text(*static_cast<const VS_FIXEDFILEINFO*>(record));
}

std::wstring fixed_version_text(const VS_FIXEDFILEINFO& fixed) {
    std::wostringstream text;
    text << HIWORD(fixed.dwFileVersionMS) << L'.' << LOWORD(fixed.dwFileVersionMS) << L'.'
         << HIWORD(fixed.dwFileVersionLS) << L'.' << LOWORD(fixed.dwFileVersionLS);
    return text.str();
}
