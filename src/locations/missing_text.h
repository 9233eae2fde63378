#pragma once

#include <string_view>

#include "install_location.h"

// What the table shows in place of a location's directory when the location
// is not on the machine. Saved tables are read back by these texts, so they
// are the one spelling of them.
constexpr std::wstring_view missing_text(install_location location) {
    switch (location) {
        case printer_driver_directory:
            return L"<Missing Printer Driver Directory>";
        case print_processor_directory:
            return L"<Missing Print Processor Directory>";
        case program_files_directory:
            return L"<Missing \"Program Files\\Pelmar\\printer\" Directory>";
        case program_files_x86_directory:
            return L"<Missing \"Program Files (x86)\\Pelmar\\printer\" Directory>";
        case driver_package_directory:
            return L"<Missing Printer Driver Package Directory>";
    }
    return {};
}
