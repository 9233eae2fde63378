#include "version_info.h"

#include <optional>

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

std::wstring version_info::version_text() const {
    return fixed_version_text(block_).value_or(std::wstring());
}
