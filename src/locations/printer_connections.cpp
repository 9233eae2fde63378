#include "printer_connections.h"

#include <iterator>
#include <string_view>

#include <windows.h>

#include "unique_handle.h"

namespace {

using unique_registry_key = unique_handle<HKEY, RegCloseKey>;

// Where Windows caches each shared queue a connection leads to, as the
// print server publishes it (its DsSpooler values), by server and the
// connection's GuidPrinter.
constexpr std::wstring_view cached_servers =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\"
    L"Client Side Rendering Print Provider\\Servers\\";

// The names of `key`'s subkeys into `names`; 0 or the error code.
LSTATUS subkey_names(HKEY key, std::vector<std::wstring>& names) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];  // a key's name has at most 255 characters
        auto length = static_cast<DWORD>(std::size(name));
        const LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names.emplace_back(name, length);
    }
}

// The text value `name` of `key`'s subkey `path` into `value`; 0 or the
// error code.
LSTATUS text_value(HKEY key, const std::wstring& path, const wchar_t* name, std::wstring& value) {
    DWORD size = 0;
    LSTATUS status = RegGetValueW(key, path.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.resize(size / sizeof(wchar_t));
        status = RegGetValueW(key, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value.data(), &size);
        value.resize(status == ERROR_SUCCESS ? size / sizeof(wchar_t) : 0);
        value.erase(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
    }
    return status;
}

// The driver of the connection `connection` (`,,server,printer`) of the
// user's `connections` key, into `names`; 0 or the error code.
LSTATUS connection_driver(HKEY connections, const std::wstring& connection,
                          std::vector<std::wstring>& names) {
    const std::wstring_view text(connection);
    if (!text.starts_with(L",,") || text.find(L',', 2) == std::wstring_view::npos) {
        return ERROR_FILE_NOT_FOUND;  // not a connection to a shared queue
    }
    const std::wstring server(text.substr(2, text.find(L',', 2) - 2));
    std::wstring guid;
    std::wstring driver;
    LSTATUS status = text_value(connections, connection, L"GuidPrinter", guid);
    if (status == ERROR_SUCCESS) {
        status = text_value(HKEY_LOCAL_MACHINE,
                            std::wstring(cached_servers) + server + L"\\Printers\\" + guid +
                                L"\\DsSpooler",
                            L"driverName", driver);
    }
    if (status == ERROR_SUCCESS) {
        names.push_back(std::move(driver));
    }
    return status;
}

}  // namespace

std::uint32_t connection_driver_names(std::vector<std::wstring>& names) {
    std::vector<std::wstring> users;
    if (const LSTATUS status = subkey_names(HKEY_USERS, users)) {
        return static_cast<std::uint32_t>(status);
    }
    LSTATUS first_error = ERROR_SUCCESS;
    for (const std::wstring& user : users) {
        unique_registry_key connections;
        LSTATUS status = RegOpenKeyExW(HKEY_USERS, (user + L"\\Printers\\Connections").c_str(), 0,
                                       KEY_READ, connections.put());
        if (status == ERROR_FILE_NOT_FOUND) {
            continue;  // no connection, or the classes hive beside a user's
        }
        std::vector<std::wstring> made;
        if (status == ERROR_SUCCESS) {
            status = subkey_names(connections.get(), made);
        }
        for (const std::wstring& connection : made) {
            const LSTATUS found = connection_driver(connections.get(), connection, names);
            status = status == ERROR_SUCCESS ? found : status;
        }
        first_error = first_error == ERROR_SUCCESS ? status : first_error;
    }
    return static_cast<std::uint32_t>(first_error);
}
