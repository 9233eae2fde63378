#include "spooler_claims.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "folder_listing.h"
#include "printable_name.h"

namespace pelmar::signatures {

namespace {

using facts = spooler_claims::facts;

// A file as the rules see it: its path as listed and as a key, split at
// its folders.
struct file_place {
    std::wstring_view name;  // as listed
    std::wstring_view key;   // the whole path's key
    std::wstring_view folder;  // its folder's key, ending in a backslash
    std::wstring_view name_key;
};

std::wstring_view folder_of(std::wstring_view path) {
    // Without a trailing backslash of its own: `C:\a\b` is in `C:\a\`.
    const auto last = path.substr(0, path.empty() ? 0 : path.size() - 1).find_last_of(L'\\');
    return last == std::wstring_view::npos ? std::wstring_view() : path.substr(0, last + 1);
}

std::wstring_view leaf_of(std::wstring_view folder) {
    const std::wstring_view parent = folder_of(folder);
    return folder.substr(parent.size(), folder.size() - parent.size() - 1);
}

bool contains(const std::vector<std::wstring>& keys, std::wstring_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool all_hex(std::wstring_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return std::iswxdigit(c) != 0;
    });
}

// `{8-4-4-4-12}` hex digits, as a GUID's text.
bool guid_text(std::wstring_view text) {
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') {
        return false;
    }
    for (std::size_t index = 1; index < 37; ++index) {
        const bool dash = index == 9 || index == 14 || index == 19 || index == 24;
        if (dash ? text[index] != L'-' : std::iswxdigit(text[index]) == 0) {
            return false;
        }
    }
    return true;
}

std::wstring quoted(std::wstring_view name) {
    return L"\"" + printable_name(name) + L"\"";
}

struct rule_context {
    const facts& known;
    const file_place& file;
    const std::vector<std::wstring>& used;
    printer_use printers;
};

// The drivers that name the file at `key`, in a row's words.
std::optional<std::wstring> named_at(const rule_context& context, std::wstring_view key) {
    const auto found = context.known.named.find(key);
    if (found == context.known.named.end()) {
        return std::nullopt;
    }
    std::wstring text = found->second.size() == 1 ? L"named by driver " : L"named by drivers ";
    for (const std::wstring& driver : found->second) {
        text += (&driver == &found->second.front() ? L"" : L", ") + quoted(driver);
        if (context.printers != printer_use::unknown &&
            !contains(context.used, win::file_name_key(driver))) {
            // Another user's connection may use it where they were not read.
            text += context.printers == printer_use::known ? L" (no printer uses it)"
                                                            : L" (no printer on this machine uses it)";
        }
    }
    return text;
}

// A file a driver names, where the spooler put it.
std::optional<std::wstring> named_file(const rule_context& context) {
    return named_at(context, context.file.key);
}

// The spooler stages a driver's new file in `New` and keeps the one it
// replaced in `Old\N` while a process still holds it, until a reboot.
std::optional<std::wstring> staged_copy(const rule_context& context) {
    const file_place& file = context.file;
    const std::wstring_view parent = folder_of(file.folder);
    std::wstring_view base;
    if (leaf_of(file.folder) == L"NEW") {
        base = parent;
    } else if (all_hex(leaf_of(file.folder)) && leaf_of(parent) == L"OLD") {
        base = folder_of(parent);
    } else {
        return std::nullopt;
    }
    auto named = named_at(context, std::wstring(base) + std::wstring(file.name_key));
    return named ? std::optional(L"a copy the spooler keeps of a file " + *named) : std::nullopt;
}

// MUI: Windows loads a module's texts from `<locale>\<module>.mui` beside
// it; the spooler copies a driver's into its version folder, a print
// processor's beside it. The module itself may live in the driver store.
std::optional<std::wstring> language_resource(const rule_context& context) {
    const file_place& file = context.file;
    const std::wstring_view grandparent = folder_of(file.folder);
    const std::wstring locale(leaf_of(file.folder));
    // Also below a subfolder of the version folder, where a driver keeps
    // its modules in folders of their own.
    if (!file.name_key.ends_with(L".MUI") || !win::is_locale_name(locale) ||
        !(contains(context.known.version_folders, grandparent) ||
          contains(context.known.version_folders, folder_of(grandparent)) ||
          context.known.processors.contains(grandparent))) {
        return std::nullopt;
    }
    const std::wstring_view module = file.name_key.substr(0, file.name_key.size() - 4);
    if (!context.known.modules.contains(module)) {
        return std::nullopt;
    }
    return L"a language resource of " + printable_name(file.name.substr(0, module.size()));
}

// Help files in the older language layout, `mui\<LCID>\` of a version folder.
std::optional<std::wstring> language_help(const rule_context& context) {
    const file_place& file = context.file;
    const std::wstring_view parent = folder_of(file.folder);
    const bool placed = leaf_of(file.folder).size() == 4 && all_hex(leaf_of(file.folder)) &&
                        leaf_of(parent) == L"MUI" &&
                        contains(context.known.version_folders, folder_of(parent));
    return placed && file.name_key.ends_with(L".HLP") ? std::optional<std::wstring>(L"a help file")
                                                      : std::nullopt;
}

// Unidrv caches each GPD it parses as `<GPD name>.BUD` beside it, and
// PostScript each PPD as `<PPD name>.BPD` (KB873396).
std::optional<std::wstring> parsed_cache(const rule_context& context) {
    const std::wstring_view name = context.file.name_key;
    for (const auto& [cache, source] : {std::pair{L".BUD", L".GPD"}, std::pair{L".BPD", L".PPD"}}) {
        if (name.ends_with(cache)) {
            const std::wstring stem(name.substr(0, name.size() - 4));
            const std::wstring source_key = std::wstring(context.file.folder) + stem + source;
            if (context.known.named.contains(source_key)) {
                return L"a cache of " +
                       printable_name(context.file.name.substr(0, stem.size())) + source;
            }
        }
    }
    return std::nullopt;
}

// Unidrv leaves empty `BUD<n>.tmp` files in the version folder after an
// install (KB958708).
std::optional<std::wstring> install_leftover(const rule_context& context) {
    const std::wstring_view name = context.file.name_key;
    const bool shaped = name.starts_with(L"BUD") && name.ends_with(L".TMP") &&
                        all_hex(name.substr(3, name.size() - 7));
    return shaped && contains(context.known.version_folders, context.file.folder)
               ? std::optional<std::wstring>(L"a file Unidrv leaves after an install")
               : std::nullopt;
}

// The spooler keeps a cabinet of each driver package it shares with
// clients, `PCC\<driver store folder>.cab`.
std::optional<std::wstring> package_cabinet(const rule_context& context) {
    const file_place& file = context.file;
    const bool placed = leaf_of(file.folder) == L"PCC" &&
                        contains(context.known.environment_folders, folder_of(file.folder));
    return placed && file.name_key.ends_with(L".CAB") &&
                   file.name_key.find(L".INF_") != std::wstring_view::npos
               ? std::optional<std::wstring>(L"a driver package's cabinet")
               : std::nullopt;
}

// Windows' colour profiles, `spool\drivers\color`.
std::optional<std::wstring> colour_profile(const rule_context& context) {
    const file_place& file = context.file;
    if (leaf_of(file.folder) != L"COLOR" ||
        !contains(context.known.driver_roots, folder_of(file.folder))) {
        return std::nullopt;
    }
    for (const std::wstring_view kind : {L".ICM", L".ICC", L".CAMP", L".GMMP", L".CDMP"}) {
        if (file.name_key.ends_with(kind)) {
            return L"a colour profile";
        }
    }
    return std::nullopt;
}

// Print servers hold `{GUID}\PrintConfig.dll` beside the version folder, a
// copy of the in-box configuration module for a shared queue.
std::optional<std::wstring> queue_configuration(const rule_context& context) {
    const file_place& file = context.file;
    return file.name_key == L"PRINTCONFIG.DLL" && guid_text(leaf_of(file.folder)) &&
                   contains(context.known.environment_folders, folder_of(file.folder))
               ? std::optional<std::wstring>(L"a print queue's configuration module")
               : std::nullopt;
}

// The spooler loads each print processor from its environment's folder by
// the `Driver` value it is registered with.
std::optional<std::wstring> print_processor(const rule_context& context) {
    const auto found = context.known.processors.find(context.file.folder);
    return found != context.known.processors.end() &&
                   contains(found->second, context.file.name_key)
               ? std::optional<std::wstring>(L"a registered print processor")
               : std::nullopt;
}

// An upgrade renames the library it replaces `<n>_<library>` until a
// reboot; the library's name without that prefix, or nothing.
std::optional<std::wstring_view> earlier_name(std::wstring_view name) {
    const auto mark = name.find(L'_');
    if (mark == std::wstring_view::npos || mark == 0 ||
        !std::all_of(name.begin(), name.begin() + mark,
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        return std::nullopt;
    }
    return name.substr(mark + 1);
}

std::optional<std::wstring> earlier_print_processor(const rule_context& context) {
    const auto found = context.known.processors.find(context.file.folder);
    const std::optional<std::wstring_view> library = earlier_name(context.file.name_key);
    return found != context.known.processors.end() && library &&
                   contains(found->second, *library)
               ? std::optional<std::wstring>(L"a registered print processor's earlier library")
               : std::nullopt;
}

// The name a renamed library was installed by.
std::wstring_view library_name(std::wstring_view name) {
    return earlier_name(name).value_or(name);
}

// Each rule, and whether what it claims may be an executable image: the
// caches, cabinets, help files and profiles are data, and an image under
// such a name is nobody's; and, where Windows renamed the file, the name it
// was installed by.
const struct {
    std::optional<std::wstring> (*match)(const rule_context&);
    bool images;
    std::wstring_view (*installed_name)(std::wstring_view name) = nullptr;
} rules[] = {
    {named_file, true},           // AddPrinterDriverEx copies a driver's files there
    {staged_copy, true},          // the spooler's New and Old\N, until a reboot
    {language_resource, true},    // MUI: the loader's <locale>\<module>.mui
    {queue_configuration, true},  // a print server's shared queues
    {print_processor, true},      // the Print Processors key's Driver value
    {earlier_print_processor, true, library_name},  // renamed by an upgrade
    {language_help, false},       // the older layout of language folders
    {parsed_cache, false},        // Unidrv's and PostScript's caches (KB873396)
    {install_leftover, false},    // Unidrv's install (KB958708)
    {package_cabinet, false},     // Point and Print's package cabinets
    {colour_profile, false},      // Windows' colour management
};

std::wstring folder_key(const std::wstring& folder) {
    return win::file_name_key(folder.ends_with(L'\\') ? folder : folder + L'\\');
}

// The key of the file name at the end of a path, of a bare name, or of a
// v4 driver's `<driver store folder>|<file>`.
std::wstring name_key_of(const std::wstring& path) {
    return win::file_name_key(path.substr(path.find_last_of(L"\\/|") + 1));
}

// Whether a driver names the file by its place in the driver store, from
// which Windows installed it, or by `<driver store folder>|<file>`: the
// spooler copies it into its environment's version folder all the same.
bool named_in_driver_store(const std::wstring& key) {
    return key.find(L'|') != std::wstring::npos ||
           key.find(L"\\DRIVERSTORE\\FILEREPOSITORY\\") != std::wstring::npos;
}

}  // namespace

spooler_claims::spooler_claims(const std::vector<installed_driver>& drivers,
                               const print_processor_libraries& processors,
                               const std::vector<spooler_environment>& environments,
                               const std::vector<std::wstring>& used, printer_use printers)
    : printers_(printers) {
    for (const std::wstring& driver : used) {
        used_.push_back(win::file_name_key(driver));
    }
    // Each environment's version folder, by the environment's name.
    std::map<std::wstring, std::wstring, std::less<>> version_folders;
    for (const spooler_environment& environment : environments) {
        if (!environment.failure) {
            version_folders.emplace(win::file_name_key(environment.name),
                                    folder_key(environment.driver_folder) + L"3\\");
        }
    }
    for (const installed_driver& driver : drivers) {
        const auto version_folder = version_folders.find(win::file_name_key(driver.environment));
        for (const std::wstring& file : driver.files) {
            const std::wstring key = win::file_name_key(file);
            std::vector<std::wstring> places;
            if (key.find(L'|') == std::wstring::npos) {
                places.push_back(key);
            }
            if (named_in_driver_store(key) && version_folder != version_folders.end()) {
                places.push_back(version_folder->second + name_key_of(file));
            }
            for (const std::wstring& place : places) {
                std::vector<std::wstring>& names = facts_.named[place];
                if (std::find(names.begin(), names.end(), driver.name) == names.end()) {
                    names.push_back(driver.name);
                }
            }
            facts_.modules.insert(name_key_of(file));
        }
    }
    for (const spooler_environment& environment : environments) {
        if (environment.failure) {
            continue;
        }
        const std::wstring drivers_key = folder_key(environment.driver_folder);
        facts_.environment_folders.push_back(drivers_key);
        // The version folder of the drivers the spooler keeps for this
        // environment; v4 drivers keep theirs in the driver store.
        facts_.version_folders.push_back(drivers_key + L"3\\");
        facts_.driver_roots.emplace_back(folder_of(drivers_key));
        std::vector<std::wstring>& libraries =
            facts_.processors[folder_key(environment.processor_folder)];
        for (const print_processor_library& processor : processors.names) {
            if (win::same_file_name(processor.environment, environment.name)) {
                libraries.push_back(name_key_of(processor.library));
            }
        }
    }
    for (const print_processor_library& processor : processors.names) {
        facts_.modules.insert(name_key_of(processor.library));
    }
}

std::optional<file_claim> spooler_claims::claim(const std::wstring& path) const {
    const std::wstring key = win::file_name_key(path);
    const std::wstring_view folder = folder_of(key);
    const std::wstring_view name = std::wstring_view(path).substr(folder.size());
    const file_place place{name, key, folder, std::wstring_view(key).substr(folder.size())};
    const rule_context context{facts_, place, used_, printers_};
    for (const auto& rule : rules) {
        if (auto by = rule.match(context)) {
            return file_claim{std::move(*by), rule.images,
                              std::wstring(rule.installed_name != nullptr
                                               ? rule.installed_name(name)
                                               : name)};
        }
    }
    return std::nullopt;
}

}  // namespace pelmar::signatures
