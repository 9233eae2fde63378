#pragma once

#include <cstdint>

// The places a driver file can live in; a manifest entry holds a mask of them.
enum install_location : std::uint32_t {
    printer_driver_directory = 1,
    print_processor_directory = 2,
    program_files_directory = 4,
    program_files_x86_directory = 8,
    driver_package_directory = 16,
};
