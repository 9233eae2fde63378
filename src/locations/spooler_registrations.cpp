#include "spooler_registrations.h"

#include <functional>

#include <windows.h>
#include <winspool.h>

#include "registry_reads.h"

namespace {

constexpr const wchar_t* control_print = L"SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr const wchar_t* software_print = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print";
constexpr const wchar_t* current_version = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* policies = L"SOFTWARE\\Policies\\Microsoft\\Windows NT";

// Runs `read` on the key `key` below `root`, when it exists; a failure
// becomes the key's unreadable row, and the reads of other keys go on.
void read_key(spooler_registrations& found, const std::wstring& root, const std::wstring& key,
              const std::function<void(HKEY)>& read) {
    try {
        const auto opened = open_registry_key(HKEY_LOCAL_MACHINE, root + L'\\' + key);
        if (opened) {
            read(opened.get());
        }
    } catch (const registry_failure& failure) {
        found.unreadable.push_back({root, key, static_cast<std::uint32_t>(failure.status)});
    }
}

// Each subkey's text value `name`: `Monitors\<subkey>\Driver`.
void read_named_modules(spooler_registrations& found, const std::wstring& root,
                        const std::wstring& key, const wchar_t* name) {
    read_key(found, root, key, [&](HKEY opened) {
        std::vector<std::wstring> subkeys;
        read_subkey_names(opened, subkeys);
        for (const std::wstring& subkey : subkeys) {
            if (auto text = registry_text(opened, subkey, name, true); text && !text->empty()) {
                found.modules.push_back(
                    {root, key + L'\\' + subkey + L'\\' + name, std::move(*text)});
            }
        }
    });
}

void read_printers(spooler_registrations& found, const std::wstring& root) {
    std::vector<std::wstring> printers;
    read_key(found, root, L"Printers", [&](HKEY opened) { read_subkey_names(opened, printers); });
    for (const std::wstring& printer : printers) {
        const std::wstring key = L"Printers\\" + printer;
        read_key(found, root, key, [&](HKEY opened) {
            if (auto folder = registry_text(opened, {}, L"SpoolDirectory", true);
                folder && !folder->empty()) {
                found.spool_folders.push_back({root, key + L"\\SpoolDirectory", *folder});
            }
            const auto attributes = registry_number(opened, L"Attributes");
            found.printer_shared |= attributes && (*attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
        });
        read_named_modules(found, root, key + L"\\CopyFiles", L"Module");
    }
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
    read_key(found, current_version, L"Ports",
             [&](HKEY opened) { read_value_names(opened, found.ports); });
    read_key(found, policies, L"Printers\\PointAndPrint", [&](HKEY opened) {
        found.restrict_driver_installation =
            registry_number(opened, L"RestrictDriverInstallationToAdministrators");
        found.no_warning_no_elevation = registry_number(opened, L"NoWarningNoElevationOnInstall");
        found.update_prompt = registry_number(opened, L"UpdatePromptSettings");
    });
    read_key(found, policies, L"Printers", [&](HKEY opened) {
        found.remote_rpc_endpoint = registry_number(opened, L"RegisterSpoolerRemoteRpcEndPoint");
    });
    read_key(found, L"SYSTEM\\CurrentControlSet\\Control", L"ProductOptions", [&](HKEY opened) {
        const auto type = registry_text(opened, {}, L"ProductType", false);
        found.domain_controller =
            type && CompareStringOrdinal(type->c_str(), -1, L"LanmanNT", -1, TRUE) == CSTR_EQUAL;
    });
    return found;
}
