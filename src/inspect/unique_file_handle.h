#pragma once

#include <utility>

#include <windows.h>

// Owns a file handle that CreateFileW returned as valid.
class unique_file_handle {
public:
    explicit unique_file_handle(HANDLE handle) : handle_(handle) {}
    unique_file_handle(unique_file_handle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    ~unique_file_handle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

    unique_file_handle(const unique_file_handle&) = delete;
    unique_file_handle& operator=(const unique_file_handle&) = delete;
    unique_file_handle& operator=(unique_file_handle&&) = delete;

    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};
