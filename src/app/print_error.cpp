#include "print_error.h"

#include <iomanip>

std::wostream& print_error(const wchar_t* message, const win32_exception& error,
                           std::wostream& out) {
    // Nothing follows the error line, so the stream's settings stay changed.
    out << message << L" Error code: 0x" << std::hex << std::setfill(L'0') << std::setw(8)
        << error.error_code << L".\n";
    return out;
}
