#pragma once

#include <windows.h>

// Owns a search handle that FindFirstFileExW returned as valid.
class unique_find_handle {
public:
    explicit unique_find_handle(HANDLE handle) : handle_(handle) {}
    ~unique_find_handle() { FindClose(handle_); }

    unique_find_handle(const unique_find_handle&) = delete;
    unique_find_handle& operator=(const unique_find_handle&) = delete;

    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};
