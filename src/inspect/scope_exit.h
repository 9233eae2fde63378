#pragma once

#include <utility>

// Runs an action when it goes out of scope, however the scope is left, as
// WIL's scope_exit does: for undoing what a call did where no handle owns it.
//     auto close_state = scope_exit([&] { ... });
// release() keeps it from running, once what it would undo is kept.
template <typename action_type>
class [[nodiscard]] scope_exit_guard {
public:
    explicit scope_exit_guard(action_type action) : action_(std::move(action)) {}
    ~scope_exit_guard() {
        if (armed_) {
            action_();
        }
    }

    scope_exit_guard(const scope_exit_guard&) = delete;
    scope_exit_guard& operator=(const scope_exit_guard&) = delete;

    void release() noexcept { armed_ = false; }

private:
    action_type action_;
    bool armed_ = true;
};

template <typename action_type>
[[nodiscard]] scope_exit_guard<action_type> scope_exit(action_type action) {
    return scope_exit_guard<action_type>(std::move(action));
}
