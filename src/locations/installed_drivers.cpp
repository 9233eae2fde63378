#include "installed_drivers.h"

#include <memory>

#include <windows.h>
#include <winspool.h>

#include "spooler_queries.h"

std::vector<installed_driver> installed_drivers() {
    std::uint32_t needed = 0;
    std::uint32_t returned = 0;
    // Level 3 is the lowest that names the dependent files.
    const auto buffer = pelmar::winspool::enum_printer_drivers(
        L"all", 3, needed, returned, pelmar::winspool::tries_while_growing);
    std::vector<installed_driver> found;
    if (!buffer) {
        return found;
    }
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.get());
    for (std::uint32_t index = 0; index < returned; ++index) {
        const DRIVER_INFO_3W& driver = drivers[index];
        installed_driver& record = found.emplace_back();
        record.name = driver.pName != nullptr ? driver.pName : L"";
        record.environment = driver.pEnvironment != nullptr ? driver.pEnvironment : L"";
        record.monitor = driver.pMonitorName != nullptr ? driver.pMonitorName : L"";
        for (const wchar_t* file :
             {driver.pDriverPath, driver.pDataFile, driver.pConfigFile, driver.pHelpFile}) {
            if (file != nullptr && *file != L'\0') {
                record.files.emplace_back(file);
            }
        }
        // A list of texts that ends with an empty one.
        for (const wchar_t* file = driver.pDependentFiles; file != nullptr && *file != L'\0';
             file += record.files.emplace_back(file).size() + 1) {
        }
    }
    return found;
}
