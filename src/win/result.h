#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "win32_error.h"

namespace pelmar::win {

// What a wrapped Windows call gives: its value, or the error of the call that
// failed (std::expected's shape, which C++20 lacks).
template <typename value_type>
class [[nodiscard]] result {
public:
    result(value_type value) : state_(std::in_place_index<0>, std::move(value)) {}
    result(win32_error error) : state_(std::in_place_index<1>, error) {}

    [[nodiscard]] bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    [[nodiscard]] value_type& value() & { return std::get<0>(state_); }
    [[nodiscard]] const value_type& value() const& { return std::get<0>(state_); }
    [[nodiscard]] value_type&& value() && { return std::get<0>(std::move(state_)); }
    [[nodiscard]] const win32_error& error() const { return std::get<1>(state_); }

private:
    std::variant<value_type, win32_error> state_;
};

// What a wrapped call that gives nothing but success gives: the error of a
// call that failed, or nothing.
using status = std::optional<win32_error>;

}  // namespace pelmar::win
