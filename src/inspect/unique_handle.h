#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

// Owns one handle of a platform resource and gives it back with `release`
// when it goes out of scope, as WIL's unique_any does. It holds a handle
// only once the acquiring call returned it as valid, so it releases exactly
// once; moving it hands the duty on. Each kind of handle is one alias, e.g.
//     using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;
// where -1 spells INVALID_HANDLE_VALUE, the value of an owner that holds
// nothing. An acquiring call that returns its handle through a pointer
// writes it to put():
//     unique_catalog_admin admin;
//     if (!CryptCATAdminAcquireContext(admin.put(), nullptr, 0)) ...
template <typename handle_type, auto release, std::intptr_t invalid_value = 0>
class unique_handle {
public:
    unique_handle() = default;
    explicit unique_handle(handle_type handle) : handle_(handle) {}
    unique_handle(unique_handle&& other) noexcept
        : handle_(std::exchange(other.handle_, invalid())) {}
    unique_handle& operator=(unique_handle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~unique_handle() { reset(); }

    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;

    handle_type get() const { return handle_; }
    explicit operator bool() const { return handle_ != invalid(); }

    // Releases what it holds and gives the place for a new handle.
    handle_type* put() {
        reset();
        return &handle_;
    }

private:
    static handle_type invalid() {
        if constexpr (std::is_pointer_v<handle_type>) {
            return reinterpret_cast<handle_type>(invalid_value);
        } else {
            return static_cast<handle_type>(invalid_value);
        }
    }

    void reset() {
        if (handle_ != invalid()) {
            release(std::exchange(handle_, invalid()));
        }
    }

    handle_type handle_ = invalid();
};
