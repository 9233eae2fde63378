#include "print_error.h"

#include "error_code_text.h"

std::wostream& print_error(const wchar_t* message, const win32_exception& error,
                           std::wostream& out) {
    out << message << L' ' << error_code_text(error.error_code) << L'\n';
    return out;
}
