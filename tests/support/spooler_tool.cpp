// Prepares and inspects the print spooler of a Wine prefix for the end-to-end
// tests. Commands run in the order given:
//   dirs                    the printer driver folder and the print processor
//                           folder, one line each, exactly as the spooler says
//   list                    one line per installed driver at levels 2 and 8:
//                           level, environment, name, path or "(null)"
//   reset                   removes every installed driver, so that a prefix
//                           copied from a shared one starts without any
//   add NAME ENV DRIVER DATA CONFIG DEPENDENTS
//                           installs a driver with AddPrinterDriverExW, which
//                           copies its files from these full paths into the
//                           driver folder; ENV "-" means the running
//                           environment, DEPENDENTS is a comma-separated list
//                           of full paths or "-"
//   remove NAME ENV         removes a driver, as DeletePrinterDriverExW does
// Output is UTF-8. A failing call prints "<call> failed: <code>" on standard
// error and ends the program with exit code 2.
#include <string>
#include <vector>

#include <windows.h>
#include <winspool.h>

#include "tool_output.h"

namespace {

std::wstring text_or_null(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring(L"(null)");
}

template <typename query>
std::wstring spooler_directory(const wchar_t* name, query call) {
    DWORD needed = 0;
    call(nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(wchar_t));
    if (!call(buffer.data(), needed, &needed)) {
        fail(name);
    }
    return reinterpret_cast<const wchar_t*>(buffer.data());
}

void print_directories() {
    write_utf8(STD_OUTPUT_HANDLE,
               spooler_directory(L"GetPrinterDriverDirectoryW",
                                 [](BYTE* buffer, DWORD size, DWORD* needed) {
                                     return GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer,
                                                                       size, needed);
                                 }) +
                   L"\n");
    write_utf8(STD_OUTPUT_HANDLE,
               spooler_directory(L"GetPrintProcessorDirectoryW",
                                 [](BYTE* buffer, DWORD size, DWORD* needed) {
                                     return GetPrintProcessorDirectoryW(nullptr, nullptr, 1,
                                                                        buffer, size, needed);
                                 }) +
                   L"\n");
}

std::vector<BYTE> drivers(DWORD level, DWORD& count) {
    wchar_t all[] = L"all";
    DWORD needed = 0;
    count = 0;
    if (EnumPrinterDriversW(nullptr, all, level, nullptr, 0, &needed, &count)) {
        return {};
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        fail(L"EnumPrinterDriversW");
    }
    std::vector<BYTE> buffer(needed);
    if (!EnumPrinterDriversW(nullptr, all, level, buffer.data(), needed, &needed, &count)) {
        fail(L"EnumPrinterDriversW");
    }
    return buffer;
}

void list_drivers() {
    DWORD count = 0;
    auto level2 = drivers(2, count);
    const auto* info2 = reinterpret_cast<const DRIVER_INFO_2W*>(level2.data());
    for (DWORD index = 0; index < count; ++index) {
        write_utf8(STD_OUTPUT_HANDLE, L"2\t" + text_or_null(info2[index].pEnvironment) + L"\t" +
                                          text_or_null(info2[index].pName) + L"\t" +
                                          text_or_null(info2[index].pDriverPath) + L"\n");
    }
    auto level8 = drivers(8, count);
    const auto* info8 = reinterpret_cast<const DRIVER_INFO_8W*>(level8.data());
    for (DWORD index = 0; index < count; ++index) {
        write_utf8(STD_OUTPUT_HANDLE, L"8\t" + text_or_null(info8[index].pEnvironment) + L"\t" +
                                          text_or_null(info8[index].pName) + L"\t" +
                                          text_or_null(info8[index].pszInfPath) + L"\n");
    }
}

void remove_all_drivers() {
    DWORD count = 0;
    auto level2 = drivers(2, count);
    const auto* info = reinterpret_cast<const DRIVER_INFO_2W*>(level2.data());
    for (DWORD index = 0; index < count; ++index) {
        if (!DeletePrinterDriverExW(nullptr, info[index].pEnvironment, info[index].pName, 0, 0)) {
            fail(L"DeletePrinterDriverExW");
        }
    }
}

void add_driver(wchar_t** arguments) {
    std::wstring environment = arguments[1];
    std::wstring dependents = arguments[5];
    // The spooler wants the dependent files as a list of strings ending in
    // an empty one.
    if (dependents == L"-") {
        dependents.clear();
    }
    for (auto& character : dependents) {
        if (character == L',') {
            character = L'\0';
        }
    }
    dependents.append(2, L'\0');
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = arguments[0];
    info.pEnvironment = environment == L"-" ? nullptr : environment.data();
    info.pDriverPath = arguments[2];
    info.pDataFile = arguments[3];
    info.pConfigFile = arguments[4];
    info.pDependentFiles = dependents.data();
    // Without APD_COPY_FROM_DIRECTORY the spooler looks for the files in the
    // driver folder itself, and Wine's spooler then fails to copy silently.
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
        fail(L"AddPrinterDriverExW");
    }
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    for (int index = 1; index < argc;) {
        const std::wstring command = argv[index++];
        if (command == L"dirs") {
            print_directories();
        } else if (command == L"list") {
            list_drivers();
        } else if (command == L"reset") {
            remove_all_drivers();
        } else if (command == L"remove" && argc - index >= 2) {
            std::wstring environment = argv[index + 1];
            if (!DeletePrinterDriverExW(nullptr, environment == L"-" ? nullptr : environment.data(),
                                        argv[index], 0, 0)) {
                fail(L"DeletePrinterDriverExW");
            }
            index += 2;
        } else if (command == L"add" && argc - index >= 6) {
            add_driver(argv + index);
            index += 6;
        } else {
            write_utf8(STD_ERROR_HANDLE, L"unknown or incomplete command: " + command + L"\n");
            return 2;
        }
    }
    return 0;
}
