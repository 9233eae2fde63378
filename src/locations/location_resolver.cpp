#include "location_resolver.h"

#include <string_view>

#include <io.h>
#include <windows.h>
#include <knownfolders.h>
#include <winspool.h>

#include "install_location.h"
#include "known_folder.h"
#include "missing_text.h"
#include "spooler_queries.h"

namespace {

constexpr std::wstring_view printer_driver_name = L"Pelmar Omni Printer";
constexpr const wchar_t* all_environments = L"all";
constexpr const wchar_t* vendor_folder = L"Pelmar\\printer";

void cut_at_last_backslash(std::wstring& text) {
    const auto last = text.rfind(L'\\');
    if (last != std::wstring::npos) {
        text.erase(last);
    }
}

void end_with_backslash(std::wstring& text) {
    if (text.back() != L'\\') {
        text += L'\\';
    }
}

bool exists(const std::wstring& text) {
    return _waccess(text.c_str(), 0) == 0;
}

// The path field of the first driver of `environment`, in the spooler's
// order, whose name is exactly the product's: letter case counts, as does
// every other character.
template <typename driver_info, typename path_field>
std::wstring driver_path(const wchar_t* environment, std::uint32_t level,
                         path_field driver_info::*field) {
    std::uint32_t needed = 0;
    std::uint32_t returned = 0;
    const auto buffer =
        pelmar::winspool::enum_printer_drivers(environment, level, needed, returned);
    if (!buffer) {
        return std::wstring();
    }
    const auto* drivers = reinterpret_cast<const driver_info*>(buffer.get());
    for (std::uint32_t index = 0; index < returned; ++index) {
        const driver_info& driver = drivers[index];
        if (driver.pName != nullptr && std::wstring_view(driver.pName) == printer_driver_name) {
            const wchar_t* path = driver.*field;
            return path != nullptr ? std::wstring(path) : std::wstring();
        }
    }
    return std::wstring();
}

// The folder holding the file a driver record names, ending in a backslash.
std::wstring driver_folder(std::wstring path, install_location location) {
    const std::wstring missing(missing_text(location));
    if (path.empty()) {
        return missing;
    }
    cut_at_last_backslash(path);
    if (path.empty()) {
        return missing;
    }
    end_with_backslash(path);
    return exists(path) ? path : missing;
}

std::wstring vendor_folder_under(const GUID& folder, install_location location) {
    const std::wstring missing(missing_text(location));
    std::wstring path = known_folder_path(folder);
    if (path.empty()) {
        return missing;
    }
    end_with_backslash(path);
    path += vendor_folder;
    return exists(path) ? path : missing;
}

std::wstring print_processor_folder() {
    const std::wstring missing(missing_text(print_processor_directory));
    std::uint32_t needed = 0;
    std::wstring path = pelmar::winspool::print_processor_directory_path(needed);
    if (path.empty()) {
        return missing;
    }
    end_with_backslash(path);
    return exists(path) ? path : missing;
}

}  // namespace

std::wstring resolve_location(std::int32_t location) {
    switch (location) {
        case printer_driver_directory:
            return driver_folder(driver_path(all_environments, 2, &DRIVER_INFO_2W::pDriverPath),
                                 printer_driver_directory);
        case print_processor_directory:
            return print_processor_folder();
        case program_files_directory:
            return vendor_folder_under(FOLDERID_ProgramFiles, program_files_directory);
        case program_files_x86_directory:
            return vendor_folder_under(FOLDERID_ProgramFilesX86, program_files_x86_directory);
        case driver_package_directory:
            return driver_folder(driver_path(all_environments, 8, &DRIVER_INFO_8W::pszInfPath),
                                 driver_package_directory);
        default:
            return std::wstring();
    }
}

std::wstring resolve_native_printer_driver_directory() {
    // No environment names the caller's own: "Windows x64" for this program.
    return driver_folder(driver_path(nullptr, 2, &DRIVER_INFO_2W::pDriverPath),
                         printer_driver_directory);
}
