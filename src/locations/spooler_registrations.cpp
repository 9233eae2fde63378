#include "spooler_registrations.h"

#include <functional>
#include <initializer_list>
#include <utility>

#include <windows.h>
#include <winspool.h>

#include "folder_listing.h"
#include "registry.h"

namespace {

using namespace pelmar;

constexpr const wchar_t* control_print = L"SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr const wchar_t* software_print = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print";
constexpr const wchar_t* current_version = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* policies = L"SOFTWARE\\Policies\\Microsoft\\Windows NT";

// Runs `read` on the key `key` below `root`, when it exists; a failure
// becomes the key's unreadable row, and the reads of other keys go on.
void read_key(spooler_registrations& found, const std::wstring& root, const std::wstring& key,
              const std::function<win::status(HKEY)>& read) {
    const win::result<win::unique_registry_key> opened =
        win::open_registry_key(HKEY_LOCAL_MACHINE, root + L'\\' + key);
    const win::status failure =
        !opened ? win::status(opened.error()) : opened.value() ? read(opened.value().get())
                                                               : std::nullopt;
    if (failure) {
        found.unreadable.push_back({root, key, *failure});
    }
}

// Each subkey's text value `name`: `Monitors\<subkey>\Driver`.
void read_named_modules(spooler_registrations& found, const std::wstring& root,
                        const std::wstring& key, const wchar_t* name) {
    read_key(found, root, key, [&](HKEY opened) -> win::status {
        const auto subkeys = win::subkey_names(opened);
        if (!subkeys) {
            return subkeys.error();
        }
        for (const std::wstring& subkey : subkeys.value()) {
            auto text = win::registry_text(opened, subkey, name, true);
            if (!text) {
                return text.error();
            }
            if (text.value() && !text.value()->empty()) {
                found.modules.push_back(
                    {root, key + L'\\' + subkey + L'\\' + name, std::move(*text.value())});
            }
        }
        return std::nullopt;
    });
}

void read_printers(spooler_registrations& found, const std::wstring& root) {
    std::vector<std::wstring> printers;
    read_key(found, root, L"Printers", [&](HKEY opened) -> win::status {
        auto subkeys = win::subkey_names(opened);
        if (!subkeys) {
            return subkeys.error();
        }
        printers = std::move(subkeys.value());
        return std::nullopt;
    });
    for (const std::wstring& printer : printers) {
        const std::wstring key = L"Printers\\" + printer;
        read_key(found, root, key, [&](HKEY opened) -> win::status {
            const auto folder = win::registry_text(opened, {}, L"SpoolDirectory", true);
            if (!folder) {
                return folder.error();
            }
            if (folder.value() && !folder.value()->empty()) {
                found.spool_folders.push_back({root, key + L"\\SpoolDirectory", *folder.value()});
            }
            const auto attributes = win::registry_number(opened, L"Attributes");
            if (!attributes) {
                return attributes.error();
            }
            found.printer_shared |=
                attributes.value() && (*attributes.value() & PRINTER_ATTRIBUTE_SHARED) != 0;
            return std::nullopt;
        });
        read_named_modules(found, root, key + L"\\CopyFiles", L"Module");
    }
}

// Each DWORD value of `opened` that `values` names, into where it says, in
// order; the first failure.
win::status read_numbers(
    HKEY opened,
    std::initializer_list<std::pair<const wchar_t*, std::optional<std::uint32_t>*>> values) {
    for (const auto& [name, into] : values) {
        const auto number = win::registry_number(opened, name);
        if (!number) {
            return number.error();
        }
        *into = number.value();
    }
    return std::nullopt;
}

}  // namespace

spooler_registrations read_spooler_registrations() {
    spooler_registrations found;
    read_named_modules(found, control_print, L"Monitors", L"Driver");
    read_named_modules(found, control_print, L"Providers", L"Name");
    // Windows 8 and later keep the printers under SOFTWARE, older Windows
    // and Wine's spooler under the control set.
    read_printers(found, software_print);
    read_printers(found, control_print);
    read_key(found, current_version, L"Ports", [&](HKEY opened) -> win::status {
        auto names = win::value_names(opened);
        if (!names) {
            return names.error();
        }
        found.ports = std::move(names.value());
        return std::nullopt;
    });
    read_key(found, policies, L"Printers\\PointAndPrint", [&](HKEY opened) {
        return read_numbers(
            opened, {{L"RestrictDriverInstallationToAdministrators",
                      &found.restrict_driver_installation},
                     {L"NoWarningNoElevationOnInstall", &found.no_warning_no_elevation},
                     {L"UpdatePromptSettings", &found.update_prompt}});
    });
    read_key(found, policies, L"Printers", [&](HKEY opened) {
        return read_numbers(opened,
                            {{L"RegisterSpoolerRemoteRpcEndPoint", &found.remote_rpc_endpoint}});
    });
    read_key(found, L"SYSTEM\\CurrentControlSet\\Control", L"ProductOptions",
             [&](HKEY opened) -> win::status {
                 const auto type = win::registry_text(opened, {}, L"ProductType", false);
                 if (!type) {
                     return type.error();
                 }
                 found.domain_controller =
                     type.value() && win::same_file_name(type.value()->c_str(), L"LanmanNT");
                 return std::nullopt;
             });
    return found;
}
