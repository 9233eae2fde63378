#include "spooler_queries.h"

#include <windows.h>
#include <winspool.h>

#include "win32_exception.h"

namespace pelmar::winspool {

driver_info_buffer enum_printer_drivers(const wchar_t* environment, std::uint32_t level,
                                        std::uint32_t& needed, std::uint32_t& returned,
                                        int tries) {
    DWORD needed_bytes = 0;
    DWORD records = 0;
    needed = 0;
    returned = 0;
    const auto environment_text = const_cast<LPWSTR>(environment);
    const BOOL done = EnumPrinterDriversW(nullptr, environment_text, level, nullptr, 0,
                                          &needed_bytes, &records);
    needed = needed_bytes;
    returned = records;
    if (done) {
        return nullptr;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        throw enum_printer_drivers_exception(error);
    }

    // A driver installed between two calls fails the later one for want of
    // room, with the size it now needs.
    for (int tried = 1;; ++tried) {
        auto buffer = std::make_unique<unsigned char[]>(needed_bytes);
        const BOOL filled = EnumPrinterDriversW(nullptr, environment_text, level, buffer.get(),
                                                needed_bytes, &needed_bytes, &records);
        const DWORD fill_error = GetLastError();
        needed = needed_bytes;
        returned = records;
        if (filled) {
            return buffer;
        }
        if (fill_error != ERROR_INSUFFICIENT_BUFFER || tried >= tries) {
            throw enum_printer_drivers_exception(fill_error);
        }
    }
}

std::wstring print_processor_directory_path(std::uint32_t& needed) {
    DWORD needed_bytes = 0;
    needed = 0;
    const BOOL done = GetPrintProcessorDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed_bytes);
    needed = needed_bytes;
    if (done) {
        return std::wstring();
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        throw print_processor_exception(error);
    }

    const DWORD allocated = needed_bytes;
    const auto buffer = std::make_unique<unsigned char[]>(allocated);
    const BOOL filled = GetPrintProcessorDirectoryW(nullptr, nullptr, 1, buffer.get(), allocated,
                                                    &needed_bytes);
    const DWORD fill_error = GetLastError();
    needed = needed_bytes;
    if (!filled) {
        throw print_processor_exception(fill_error);
    }
    // The buffer's bytes are UTF-16 text; a NUL within it ends the path, and
    // its end does in any case, whatever count the second call gave back.
    const auto* text = reinterpret_cast<const wchar_t*>(buffer.get());
    std::size_t length = 0;
    while (length < allocated / sizeof(wchar_t) && text[length] != L'\0') {
        ++length;
    }
    return std::wstring(text, length);
}

}  // namespace pelmar::winspool
