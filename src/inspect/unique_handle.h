#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

// Owns one handle of a platform resource and gives it back with `release`
// when it goes out of scope. Made only from a handle that the acquiring call
// returned as valid, so it releases exactly once; moving it hands the duty
// on. Each kind of handle is one alias, e.g.
//     using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;
// where -1 spells INVALID_HANDLE_VALUE, the value a moved-from owner holds.
template <typename handle_type, auto release, std::intptr_t invalid_value = 0>
class unique_handle {
public:
    explicit unique_handle(handle_type handle) : handle_(handle) {}
    unique_handle(unique_handle&& other) noexcept
        : handle_(std::exchange(other.handle_, invalid())) {}
    ~unique_handle() {
        if (handle_ != invalid()) {
            release(handle_);
        }
    }

    unique_handle(const unique_handle&) = delete;
    unique_handle& operator=(const unique_handle&) = delete;
    unique_handle& operator=(unique_handle&&) = delete;

    handle_type get() const { return handle_; }

private:
    static handle_type invalid() {
        if constexpr (std::is_pointer_v<handle_type>) {
            return reinterpret_cast<handle_type>(invalid_value);
        } else {
            return static_cast<handle_type>(invalid_value);
        }
    }

    handle_type handle_;
};
