#include "paths.h"

#include <windows.h>

namespace pelmar::win {

namespace {

// The folder that `query` (GetSystemDirectoryW and the like) gives.
result<std::wstring> folder_from(UINT(WINAPI* query)(LPWSTR, UINT), const char* call) {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = query(folder, MAX_PATH + 1);
    if (length == 0) {
        return last_error(call);
    }
    // The length it would need: no folder Windows is installed in is that long.
    if (length > MAX_PATH) {
        return win32_error{ERROR_INSUFFICIENT_BUFFER, call};
    }
    return std::wstring(folder, length);
}

}  // namespace

result<std::wstring> full_path(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return last_error("GetFullPathNameW");
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0) {
        return last_error("GetFullPathNameW");
    }
    // Longer than asked before: the current folder changed between the calls.
    if (length >= size) {
        return win32_error{ERROR_INSUFFICIENT_BUFFER, "GetFullPathNameW"};
    }
    full.resize(length);
    return full;
}

result<std::wstring> system_folder() {
    return folder_from(GetSystemDirectoryW, "GetSystemDirectoryW");
}

result<std::wstring> windows_folder() {
    return folder_from(GetSystemWindowsDirectoryW, "GetSystemWindowsDirectoryW");
}

}  // namespace pelmar::win
