#pragma once

#include <cstdint>
#include <iomanip>
#include <sstream>
#include <string>

// "Error code: 0x0000abcd.", as every failure line of the product ends.
inline std::wstring error_code_text(std::uint32_t error_code) {
    std::wostringstream text;
    text << L"Error code: 0x" << std::hex << std::setfill(L'0') << std::setw(8) << error_code
         << L'.';
    return text.str();
}
