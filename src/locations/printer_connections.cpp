#include "printer_connections.h"

#include <optional>
#include <string_view>

#include <windows.h>

#include "registry.h"

namespace {

using namespace pelmar;

// Where Windows caches each shared queue a connection leads to, as the
// print server publishes it (its DsSpooler values), by server and the
// connection's GuidPrinter.
constexpr std::wstring_view cached_servers =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\"
    L"Client Side Rendering Print Provider\\Servers\\";

// The driver of the connection `connection` (`,,server,printer`) of the
// user's `connections` key, into `names`; ERROR_FILE_NOT_FOUND where it is
// not in the cache, or the connection is not to a shared queue.
win::status connection_driver(HKEY connections, const std::wstring& connection,
                              std::vector<std::wstring>& names) {
    const std::wstring_view text(connection);
    if (!text.starts_with(L",,") || text.find(L',', 2) == std::wstring_view::npos) {
        // Listed, but no connection to a shared queue: its driver is unknown.
        return win::win32_error{ERROR_FILE_NOT_FOUND, "RegEnumKeyExW"};
    }
    const std::wstring server(text.substr(2, text.find(L',', 2) - 2));
    const auto guid = win::registry_text(connections, connection, L"GuidPrinter", false);
    if (!guid) {
        return guid.error();
    }
    const auto driver =
        guid.value() ? win::registry_text(HKEY_LOCAL_MACHINE,
                                          std::wstring(cached_servers) + server +
                                              L"\\Printers\\" + *guid.value() + L"\\DsSpooler",
                                          L"driverName", false)
                     : win::result<std::optional<std::wstring>>(std::nullopt);
    if (!driver) {
        return driver.error();
    }
    if (!driver.value()) {
        return win::win32_error{ERROR_FILE_NOT_FOUND, "RegGetValueW"};
    }
    names.push_back(*driver.value());
    return std::nullopt;
}

}  // namespace

win::status connection_driver_names(std::vector<std::wstring>& names) {
    const auto users = win::subkey_names(HKEY_USERS);
    if (!users) {
        return users.error();
    }
    win::status first_failure;
    const auto keep = [&](const win::status& failure) {
        if (!first_failure) {
            first_failure = failure;
        }
    };
    for (const std::wstring& user : users.value()) {
        // None: no connection, or the classes hive beside a user's.
        const auto connections =
            win::open_registry_key(HKEY_USERS, user + L"\\Printers\\Connections");
        if (!connections || !connections.value()) {
            keep(connections ? std::nullopt : win::status(connections.error()));
            continue;
        }
        const auto made = win::subkey_names(connections.value().get());
        if (!made) {
            keep(made.error());
            continue;
        }
        for (const std::wstring& connection : made.value()) {
            keep(connection_driver(connections.value().get(), connection, names));
        }
    }
    return first_failure;
}
