#pragma once

#include <string>
#include <vector>

// An installed printer driver as the spooler lists it: its name, its
// environment ("Windows x64", "Windows NT x86") and every file it names,
// its driver, data, configuration and help files and its dependent files,
// as full paths.
struct installed_driver {
    std::wstring name;
    std::wstring environment;
    std::vector<std::wstring> files;
    // The language monitor it names, by its key under `Monitors`, or empty.
    std::wstring monitor{};
};

// The drivers of every environment. Throws
// pelmar::winspool::enum_printer_drivers_exception.
std::vector<installed_driver> installed_drivers();
