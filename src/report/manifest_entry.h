#pragma once

#include <cstdint>
#include <string>

// One file of the driver product and the install locations it is looked for in.
struct manifest_entry {
    std::uint32_t locations;
    std::wstring file_name;
};
