#pragma once

#include <cstdint>
#include <string>

// "Error code: 0x0000abcd." as the product's failure lines end.
std::wstring error_code_text(std::uint32_t error_code);
