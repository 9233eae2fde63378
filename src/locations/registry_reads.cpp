#include "registry_reads.h"

#include <iterator>

unique_registry_key open_registry_key(HKEY parent, const std::wstring& path) {
    unique_registry_key key;
    const LSTATUS status = RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw registry_failure{status};
    }
    return key;
}

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

void read_value_names(HKEY key, std::vector<std::wstring>& names) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];  // a value's name has at most 16,383 characters
        auto length = static_cast<DWORD>(std::size(name));
        const LSTATUS status =
            RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (status != ERROR_SUCCESS) {
            throw registry_failure{status};
        }
        names.emplace_back(name, length);
    }
}

std::optional<std::wstring> registry_text(HKEY key, const std::wstring& subkey,
                                          const wchar_t* name, bool expand) {
    // Expanded, a REG_EXPAND_SZ value reads as REG_SZ.
    const DWORD text = expand ? RRF_RT_REG_SZ : RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    const wchar_t* below = subkey.empty() ? nullptr : subkey.c_str();
    DWORD size = 0;
    LSTATUS status = RegGetValueW(key, below, name, text, nullptr, nullptr, &size);
    std::wstring value;
    // The value may grow between the two reads: read again at its new size.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.resize(size / sizeof(wchar_t) + 1);
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = RegGetValueW(key, below, name, text, nullptr, value.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.resize(size / sizeof(wchar_t));
            break;
        }
    }
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE) {
        return std::nullopt;
    }
    if (status != ERROR_SUCCESS) {
        throw registry_failure{status};
    }
    value.erase(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
    return value;
}

std::optional<std::uint32_t> registry_number(HKEY key, const wchar_t* name) {
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status =
        RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &number, &size);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE) {
        return std::nullopt;
    }
    if (status != ERROR_SUCCESS) {
        throw registry_failure{status};
    }
    return number;
}
