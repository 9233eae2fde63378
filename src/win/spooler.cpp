#include "spooler.h"

#include <memory>

#include <windows.h>
#include <winspool.h>

namespace pelmar::win {

result<std::wstring> spooler_folder_of(spooler_folder folder, const std::wstring& environment) {
    const auto query = folder == spooler_folder::drivers ? GetPrinterDriverDirectoryW
                                                         : GetPrintProcessorDirectoryW;
    const char* const call = folder == spooler_folder::drivers ? "GetPrinterDriverDirectoryW"
                                                               : "GetPrintProcessorDirectoryW";
    auto name = environment;
    DWORD needed = 0;
    if (!query(nullptr, name.data(), 1, nullptr, 0, &needed) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return last_error(call);
    }
    std::wstring text(needed / sizeof(wchar_t) + 1, L'\0');
    if (!query(nullptr, name.data(), 1, reinterpret_cast<BYTE*>(text.data()),
               static_cast<DWORD>(text.size() * sizeof(wchar_t)), &needed)) {
        return last_error(call);
    }
    return std::wstring(text.c_str());
}

result<std::vector<std::wstring>> printer_driver_names(int tries) {
    constexpr DWORD which = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD returned = 0;
    std::vector<std::wstring> names;
    if (EnumPrintersW(which, nullptr, 2, nullptr, 0, &needed, &returned)) {
        return names;  // no printer
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return last_error("EnumPrintersW");
    }
    std::unique_ptr<BYTE[]> buffer;
    for (int tried = 1;; ++tried) {
        buffer = std::make_unique<BYTE[]>(needed);
        if (EnumPrintersW(which, nullptr, 2, buffer.get(), needed, &needed, &returned)) {
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || tried >= tries) {
            return last_error("EnumPrintersW");
        }
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.get());
    for (DWORD index = 0; index < returned; ++index) {
        if (printers[index].pDriverName != nullptr) {
            names.emplace_back(printers[index].pDriverName);
        }
    }
    return names;
}

}  // namespace pelmar::win
