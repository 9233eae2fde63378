#pragma once

#include <ostream>

#include "win32_exception.h"

// Writes "<message> Error code: 0x<8 lower-case hex digits>.\n".
std::wostream& print_error(const wchar_t* message, const win32_exception& error,
                           std::wostream& out);
