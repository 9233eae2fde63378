// Output of the small Windows tools that prepare and inspect the end-to-end
// tests' Wine prefixes: UTF-8 text on the standard handles, and one way to
// fail, "<call> failed: <code>" on standard error with exit code 2.
#pragma once

#include <cstdlib>
#include <string>

#include <windows.h>

inline void write_utf8(DWORD std_handle, const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string encoded(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), encoded.data(),
                        bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(std_handle), encoded.data(), static_cast<DWORD>(encoded.size()),
              &written, nullptr);
}

// For calls that report their failure through GetLastError.
[[noreturn]] inline void fail(const wchar_t* call) {
    const DWORD error = GetLastError();
    write_utf8(STD_ERROR_HANDLE,
               std::wstring(call) + L" failed: " + std::to_wstring(error) + L"\n");
    std::exit(2);
}
