#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "install_location.h"

// Each location's name, by its bit's position: the comparison names rows by
// it, and the table's Missing texts are made of it.
constexpr std::array<std::wstring_view, 5> location_names = {
    L"Printer Driver Directory",
    L"Print Processor Directory",
    L"\"Program Files\\Pelmar\\printer\" Directory",
    L"\"Program Files (x86)\\Pelmar\\printer\" Directory",
    L"Printer Driver Package Directory",
};

// A location's place in location_names, 0 to 4.
constexpr std::size_t location_index(install_location location) {
    return static_cast<std::size_t>(std::countr_zero(std::uint32_t{location}));
}

constexpr std::wstring_view location_name(install_location location) {
    return location_names[location_index(location)];
}

constexpr std::wstring_view missing_prefix = L"<Missing ";

// What the table shows in place of a location's directory when the location
// is not on the machine. Saved tables are read back by these texts, so they
// are the one spelling of them.
inline std::wstring_view missing_text(install_location location) {
    static const auto texts = [] {
        std::array<std::wstring, location_names.size()> made;
        for (std::size_t index = 0; index < made.size(); ++index) {
            made[index] = std::wstring(missing_prefix) + std::wstring(location_names[index]) + L'>';
        }
        return made;
    }();
    return texts[location_index(location)];
}
