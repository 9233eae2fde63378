#pragma once

#include <string_view>

#include "install_location.h"
#include "missing_text.h"

// A location's name as the comparison prints it: its Missing text without
// the surrounding "<Missing " and ">".
constexpr std::wstring_view location_name(install_location location) {
    constexpr std::wstring_view prefix = L"<Missing ";
    std::wstring_view name = missing_text(location);
    name.remove_prefix(prefix.size());
    name.remove_suffix(1);
    return name;
}
