#pragma once

#include <string>
#include <vector>

// Every file that an installed printer driver names, of every environment:
// its driver, data, configuration and help files and its dependent files,
// as the spooler gives them (full paths). Throws
// pelmar::winspool::enum_printer_drivers_exception.
std::vector<std::wstring> installed_driver_files();
