#include "version_info.h"

#include <windows.h>

#include "file_version.h"
#include "win32_exception.h"

version_info::version_info(const wchar_t* path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        throw file_version_exception(GetLastError());
    }
    block_.resize(size);
    if (!GetFileVersionInfoW(path, handle, size, block_.data())) {
        throw file_version_exception(GetLastError());
    }
}

bool version_info::version_text(std::wstring& text) const {
    void* record = nullptr;
    UINT length = 0;
    // VerQueryValueW takes a non-const block but does not write to it.
    if (!VerQueryValueW(const_cast<unsigned char*>(block_.data()), L"\\", &record, &length)) {
        return false;
    }
    text = fixed_version_text(*static_cast<const VS_FIXEDFILEINFO*>(record));
    return true;
}
