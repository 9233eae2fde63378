#include "print_processor_libraries.h"

#include <iterator>

#include <windows.h>

#include "unique_handle.h"

namespace {

using unique_registry_key = unique_handle<HKEY, RegCloseKey>;

constexpr const wchar_t* environments_path =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";

// A registry read that failed, for the one place that turns it into the
// result's error code.
struct registry_failure {
    LSTATUS status;
};

// `path` below `parent`, opened to read; an empty owner when the key is
// absent.
unique_registry_key open_key(HKEY parent, const std::wstring& path) {
    unique_registry_key key;
    const LSTATUS status = RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw registry_failure{status};
    }
    return key;
}

// Appends the names of `key`'s subkeys to `names`, as far as they can be read.
void read_subkey_names(HKEY key, std::vector<std::wstring>& names) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];  // a key's name has at most 255 characters
        auto length = static_cast<DWORD>(std::size(name));
        const LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (status != ERROR_SUCCESS) {
            throw registry_failure{status};
        }
        names.emplace_back(name, length);
    }
}

// The processor's `Driver` text; empty where it has none, or none as text.
std::wstring driver_value(HKEY processors, const std::wstring& name) {
    // Unexpanded: only the file name at its end counts.
    constexpr DWORD text = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    LSTATUS status =
        RegGetValueW(processors, name.c_str(), L"Driver", text, nullptr, nullptr, &size);
    std::wstring value;
    if (status == ERROR_SUCCESS) {
        value.resize(size / sizeof(wchar_t));
        status = RegGetValueW(processors, name.c_str(), L"Driver", text, nullptr, value.data(),
                              &size);
        value.resize(size / sizeof(wchar_t));
    }
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE) {
        return {};
    }
    if (status != ERROR_SUCCESS) {
        throw registry_failure{status};
    }
    value.erase(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
    return value;
}

}  // namespace

print_processor_libraries registered_print_processors() {
    print_processor_libraries found;
    try {
        const auto environments = open_key(HKEY_LOCAL_MACHINE, environments_path);
        if (!environments) {
            return found;
        }
        read_subkey_names(environments.get(), found.environments);
        for (const std::wstring& environment : found.environments) {
            const auto processors =
                open_key(environments.get(), environment + L"\\Print Processors");
            if (!processors) {
                continue;
            }
            std::vector<std::wstring> names;
            read_subkey_names(processors.get(), names);
            for (const std::wstring& name : names) {
                std::wstring library = driver_value(processors.get(), name);
                if (!library.empty()) {
                    found.names.emplace_back(environment, std::move(library));
                }
            }
        }
    } catch (const registry_failure& failure) {
        found.error_code = static_cast<std::uint32_t>(failure.status);
    }
    return found;
}
