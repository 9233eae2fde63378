#pragma once

#include <cstdint>
#include <exception>

// The run's failures. Each carries the Windows error code of the call that
// failed and no text: the entry point chooses the message by type alone.
struct win32_exception : std::exception {
    explicit win32_exception(std::uint32_t code) : error_code(code) {}

    std::uint32_t error_code;
};

struct com_exception : win32_exception {
    using win32_exception::win32_exception;
};

struct file_version_exception : win32_exception {
    using win32_exception::win32_exception;
};

// Standard output could not take the whole table.
struct output_exception : win32_exception {
    using win32_exception::win32_exception;
};

namespace pelmar::crypto {

struct crypto_exception : win32_exception {
    using win32_exception::win32_exception;
};

}  // namespace pelmar::crypto

namespace pelmar::winspool {

struct enum_printer_drivers_exception : win32_exception {
    using win32_exception::win32_exception;
};

struct print_processor_exception : win32_exception {
    using win32_exception::win32_exception;
};

}  // namespace pelmar::winspool
