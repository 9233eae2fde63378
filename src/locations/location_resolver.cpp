#include "location_resolver.h"

#include <optional>
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

// `path` ending in a backslash where that folder exists; nothing otherwise.
std::optional<std::wstring> existing_folder(std::wstring path) {
    if (path.empty()) {
        return std::nullopt;
    }
    end_with_backslash(path);
    return exists(path) ? std::optional(std::move(path)) : std::nullopt;
}

// The folder holding the file a driver record names, ending in a backslash.
std::optional<std::wstring> driver_folder(std::wstring path) {
    cut_at_last_backslash(path);
    return existing_folder(std::move(path));
}

std::optional<std::wstring> vendor_folder_under(const GUID& folder) {
    std::wstring path = known_folder_path(folder);
    if (path.empty()) {
        return std::nullopt;
    }
    end_with_backslash(path);
    path += vendor_folder;
    return exists(path) ? std::optional(std::move(path)) : std::nullopt;
}

}  // namespace

std::optional<std::wstring> find_location(install_location location) {
    switch (location) {
        case printer_driver_directory:
            return driver_folder(driver_path(all_environments, 2, &DRIVER_INFO_2W::pDriverPath));
        case print_processor_directory: {
            std::uint32_t needed = 0;
            return existing_folder(pelmar::winspool::print_processor_directory_path(needed));
        }
        case program_files_directory:
            return vendor_folder_under(FOLDERID_ProgramFiles);
        case program_files_x86_directory:
            return vendor_folder_under(FOLDERID_ProgramFilesX86);
        case driver_package_directory:
            return driver_folder(driver_path(all_environments, 8, &DRIVER_INFO_8W::pszInfPath));
    }
    return std::nullopt;
}

std::wstring resolve_location(std::int32_t location) {
    switch (location) {
        case printer_driver_directory:
        case print_processor_directory:
        case program_files_directory:
        case program_files_x86_directory:
        case driver_package_directory: {
            const auto known = static_cast<install_location>(location);
            return find_location(known).value_or(std::wstring(missing_text(known)));
        }
        default:
            return std::wstring();
    }
}

std::optional<std::wstring> find_native_printer_driver_directory() {
    // No environment names the caller's own: "Windows x64" for this program.
    return driver_folder(driver_path(nullptr, 2, &DRIVER_INFO_2W::pDriverPath));
}
