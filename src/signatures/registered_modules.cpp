#include "registered_modules.h"

#include <algorithm>
#include <map>

#include <windows.h>

#include "folder_listing.h"
#include "paths.h"
#include "printable_name.h"

namespace pelmar::signatures {

namespace {

// The spooler this program runs beside, a 64-bit one, loads the print
// processors of this environment.
constexpr const wchar_t* own_environment = L"Windows x64";

std::wstring ending_in_backslash(const std::wstring& path) {
    return path.ends_with(L'\\') ? path : path + L'\\';
}

// `spool\drivers` of `spool\drivers\x64`.
std::wstring parent_folder(const std::wstring& folder) {
    const std::wstring path = ending_in_backslash(folder);
    return path.substr(0, path.find_last_of(L'\\', path.size() - 2));
}

bool is_absolute(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           path.starts_with(L"\\\\");
}

// `path` whole, with `.` and `..` resolved, as Windows opens it; as it is
// where Windows cannot.
std::wstring full_path(const std::wstring& path) {
    win::result<std::wstring> full = win::full_path(path);
    return full ? std::move(full).value() : path;
}

// A library as the spooler loads it: a full path as it is, any other
// relative to `folder`; as LoadLibrary does, `.dll` added to a name without
// an extension.
std::wstring resolved(const std::wstring& folder, const std::wstring& library) {
    const std::size_t leaf = library.find_last_of(L"\\/") + 1;
    const bool extension = library.find(L'.', leaf) != std::wstring::npos;
    return full_path((is_absolute(library) ? library : ending_in_backslash(folder) + library) +
                     (extension ? L"" : L".dll"));
}

// A folder Windows names; empty, with nothing inside it, where it names none.
std::wstring folder_or_none(win::result<std::wstring> folder) {
    return folder ? std::move(folder).value() : std::wstring();
}

// `path` is `folder` or below it.
bool inside(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && win::file_name_key(ending_in_backslash(path))
                                  .starts_with(win::file_name_key(ending_in_backslash(folder)));
}

// A name that Windows runs or loads as code.
bool executable_name(const std::wstring& name) {
    const std::wstring key = win::file_name_key(name);
    for (const wchar_t* extension : {L".DLL", L".EXE", L".SYS", L".DRV", L".OCX", L".CPL",
                                     L".SCR", L".COM", L".BAT", L".CMD", L".PS1", L".VBS",
                                     L".JS", L".MSI"}) {
        if (key.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

// The modules, one per library, in the order first named.
class module_list {
public:
    void add(const std::wstring& path, const std::wstring& root, const std::wstring& by,
             bool loaded_here = true) {
        const auto [known, added] = index_.try_emplace(win::file_name_key(path), modules_.size());
        if (added) {
            modules_.push_back({path, machine_key_text(root), by, loaded_here});
            more_.push_back(0);
        } else {
            ++more_[known->second];
        }
    }

    std::vector<registered_module> take() {
        for (std::size_t index = 0; index < modules_.size(); ++index) {
            if (more_[index] > 0) {
                modules_[index].by += L" and " + std::to_wstring(more_[index]) + L" more";
            }
        }
        return std::move(modules_);
    }

private:
    std::vector<registered_module> modules_;
    std::vector<std::size_t> more_;
    std::map<std::wstring, std::size_t> index_;
};

// `, the language monitor of driver "X"` where `value` is the `Driver` of a
// monitor that installed drivers name in their records; empty otherwise.
std::wstring language_monitor_of(const std::wstring& value,
                                 const std::vector<installed_driver>& drivers) {
    constexpr std::wstring_view monitors = L"Monitors\\";
    constexpr std::wstring_view driver_value = L"\\Driver";
    if (!value.starts_with(monitors) || !value.ends_with(driver_value)) {
        return {};
    }
    const std::wstring monitor = value.substr(
        monitors.size(), value.size() - monitors.size() - driver_value.size());
    std::vector<std::wstring> users;
    for (const installed_driver& driver : drivers) {
        if (!driver.monitor.empty() &&
            win::same_file_name(driver.monitor, monitor) &&
            std::find(users.begin(), users.end(), driver.name) == users.end()) {
            users.push_back(driver.name);
        }
    }
    std::wstring text;
    for (const std::wstring& user : users) {
        text += (text.empty() ? L", the language monitor of " +
                                    std::wstring(users.size() == 1 ? L"driver " : L"drivers ")
                              : L", ") +
                L"\"" + printable_name(user) + L"\"";
    }
    return text;
}

file_verdict finding(std::vector<reason> reasons) {
    return {signature_status::no_signature, {}, std::move(reasons)};
}

}  // namespace

std::wstring machine_key_text(const std::wstring& key) {
    return L"HKLM\\" + key;
}

registered_sources registered_sources_of(const spooler_registrations& registry,
                                         const print_processor_libraries& processors,
                                         const std::vector<spooler_environment>& environments,
                                         const std::vector<installed_driver>& drivers) {
    const std::wstring system = folder_or_none(win::system_folder());
    registered_sources found;
    module_list modules;
    for (const registry_text_value& module : registry.modules) {
        modules.add(resolved(system, module.text), module.root,
                    module.value + language_monitor_of(module.value, drivers));
    }
    for (const print_processor_library& processor : processors.names) {
        const auto environment = std::find_if(
            environments.begin(), environments.end(), [&](const spooler_environment& known) {
                return !known.failure &&
                       win::same_file_name(known.name, processor.environment);
            });
        if (environment != environments.end()) {
            modules.add(resolved(environment->processor_folder, processor.library),
                        L"SYSTEM\\CurrentControlSet\\Control\\Print",
                        L"Environments\\" + processor.environment + L"\\Print Processors\\" +
                            processor.processor + L"\\Driver",
                        win::same_file_name(processor.environment, own_environment));
        }
    }
    found.modules = modules.take();

    // SpoolFool (CVE-2022-21999): a spool folder among the drivers' lets
    // the spooler write a library where it then loads one from.
    for (const registry_text_value& folder : registry.spool_folders) {
        const std::wstring path = full_path(folder.text);
        const bool drivers = std::any_of(environments.begin(), environments.end(),
                                         [&](const spooler_environment& environment) {
            return !environment.failure &&
                   inside(path, parent_folder(environment.driver_folder));
        });
        const bool system_folder =
            inside(path, system) && !inside(path, system + L"\\spool\\PRINTERS");
        if (drivers || system_folder) {
            found.findings.push_back(
                {machine_key_text(folder.root), folder.text,
                 finding({{folder.value},
                          {drivers ? L"a spool folder among the printer drivers'"
                                   : L"a spool folder in System32"}})});
        }
    }
    // PrintDemon (CVE-2020-1048): printing to a port named by a file writes
    // that file, as SYSTEM.
    const std::wstring windows = folder_or_none(win::windows_folder());
    for (const std::wstring& port : registry.ports) {
        const bool system_file = is_absolute(port) && inside(full_path(port), windows);
        if (system_file || executable_name(port)) {
            found.findings.push_back(
                {machine_key_text(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"), port,
                 finding({{system_file ? L"a port that prints into a file in the Windows folder"
                                       : L"a port that prints into an executable file"}})});
        }
    }
    for (const unreadable_key& key : registry.unreadable) {
        found.findings.push_back({machine_key_text(key.root), key.key + L'\\',
                                  {signature_status::unreadable, {},
                                   {{L"cannot be read", key.error.code}}}});
    }
    return found;
}

}  // namespace pelmar::signatures
