#pragma once

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include <windows.h>

// Owns one handle of a system resource and gives it back with `close` when
// it goes out of scope, as WIL's unique_any does. It holds a handle only
// once the acquiring call returned it as valid, so it closes exactly once;
// moving it hands the duty on. Each kind of handle is one alias naming its
// close call and the values that are no handle, the first of them what an
// owner that holds nothing holds (0 where none is named), e.g.
//     using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;
// where -1 spells INVALID_HANDLE_VALUE. A kernel object's handle is
// never 0 either, whatever its call returns on failure: such an owner names
// both, so that a null that slipped through is never closed.
// An acquiring call that returns its handle through a pointer
// writes it to put():
//     unique_catalog_admin admin;
//     if (!CryptCATAdminAcquireContext(admin.put(), nullptr, 0)) ...
// Closing keeps the last error, so that an owner that goes out of scope
// between a failed call and GetLastError() does not change what it says.
template <typename handle_type, auto close, std::intptr_t... invalid_values>
class unique_handle {
public:
    unique_handle() = default;
    explicit unique_handle(handle_type handle) : handle_(handle) {}
    unique_handle(unique_handle&& other) noexcept : handle_(other.release()) {}
    // Closes the handle held before at once, not when `other` goes.
    unique_handle& operator=(unique_handle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~unique_handle() { reset(); }

    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;

    [[nodiscard]] handle_type get() const { return handle_; }
    explicit operator bool() const { return valid(handle_); }

    // Closes what it holds and gives the place for a new handle.
    [[nodiscard]] handle_type* put() {
        reset();
        return &handle_;
    }

    // Hands the handle to the caller, who then closes it.
    [[nodiscard]] handle_type release() { return std::exchange(handle_, invalid()); }

    // Closes what it holds and takes `handle` instead.
    void reset(handle_type handle = invalid()) {
        if (const handle_type old = std::exchange(handle_, handle); valid(old)) {
            const DWORD last_error = GetLastError();
            close(old);
            SetLastError(last_error);
        }
    }

private:
    static handle_type as_handle(std::intptr_t value) {
        if constexpr (std::is_pointer_v<handle_type>) {
            return reinterpret_cast<handle_type>(value);
        } else {
            return static_cast<handle_type>(value);
        }
    }
    static handle_type invalid() {
        if constexpr (sizeof...(invalid_values) == 0) {
            return as_handle(0);
        } else {
            return as_handle(std::get<0>(std::tuple{invalid_values...}));
        }
    }
    static bool valid(handle_type handle) {
        if constexpr (sizeof...(invalid_values) == 0) {
            return handle != as_handle(0);
        } else {
            return ((handle != as_handle(invalid_values)) && ...);
        }
    }

    handle_type handle_ = invalid();
};
