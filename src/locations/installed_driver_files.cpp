#include "installed_driver_files.h"

#include <windows.h>
#include <winspool.h>

#include "spooler_queries.h"

std::vector<std::wstring> installed_driver_files() {
    std::uint32_t needed = 0;
    std::uint32_t returned = 0;
    // Level 3 is the lowest that names the dependent files.
    const auto buffer = pelmar::winspool::enum_printer_drivers(L"all", 3, needed, returned);
    std::vector<std::wstring> files;
    if (!buffer) {
        return files;
    }
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.get());
    for (std::uint32_t index = 0; index < returned; ++index) {
        const DRIVER_INFO_3W& driver = drivers[index];
        for (const wchar_t* file :
             {driver.pDriverPath, driver.pDataFile, driver.pConfigFile, driver.pHelpFile}) {
            if (file != nullptr && *file != L'\0') {
                files.emplace_back(file);
            }
        }
        // A list of texts that ends with an empty one.
        for (const wchar_t* file = driver.pDependentFiles; file != nullptr && *file != L'\0';
             file += files.emplace_back(file).size() + 1) {
        }
    }
    return files;
}
