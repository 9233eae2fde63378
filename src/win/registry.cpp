#include "registry.h"

#include <iterator>

namespace pelmar::win {

namespace {

// A registry call's status as the layer's error: the registry functions
// return their code rather than set the last error.
win32_error failed(LSTATUS status, const char* call) {
    return {static_cast<std::uint32_t>(status), call};
}

bool absent(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE;
}

}  // namespace

result<unique_registry_key> open_registry_key(HKEY parent, const std::wstring& path) {
    unique_registry_key key;
    const LSTATUS status = RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return failed(status, "RegOpenKeyExW");
    }
    return key;
}

result<std::vector<std::wstring>> subkey_names(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];  // a key's name has at most 255 characters
        auto length = static_cast<DWORD>(std::size(name));
        const LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        if (status != ERROR_SUCCESS) {
            return failed(status, "RegEnumKeyExW");
        }
        names.emplace_back(name, length);
    }
}

result<std::vector<std::wstring>> value_names(HKEY key) {
    std::vector<std::wstring> names;
    std::vector<wchar_t> name(16384);  // a value's name has at most 16,383 characters
    for (DWORD index = 0;; ++index) {
        auto length = static_cast<DWORD>(name.size());
        const LSTATUS status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        if (status != ERROR_SUCCESS) {
            return failed(status, "RegEnumValueW");
        }
        names.emplace_back(name.data(), length);
    }
}

result<std::optional<std::wstring>> registry_text(HKEY key, const std::wstring& subkey,
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
    if (absent(status)) {
        return std::optional<std::wstring>();
    }
    if (status != ERROR_SUCCESS) {
        return failed(status, "RegGetValueW");
    }
    value.erase(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
    return std::optional(std::move(value));
}

result<std::optional<std::uint32_t>> registry_number(HKEY key, const wchar_t* name) {
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status =
        RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &number, &size);
    if (absent(status)) {
        return std::optional<std::uint32_t>();
    }
    if (status != ERROR_SUCCESS) {
        return failed(status, "RegGetValueW");
    }
    return std::optional<std::uint32_t>(number);
}

}  // namespace pelmar::win
