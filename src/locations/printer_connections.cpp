#include "printer_connections.h"

#include <optional>
#include <string_view>

#include <windows.h>

#include "registry_reads.h"

namespace {

// Where Windows caches each shared queue a connection leads to, as the
// print server publishes it (its DsSpooler values), by server and the
// connection's GuidPrinter.
constexpr std::wstring_view cached_servers =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\"
    L"Client Side Rendering Print Provider\\Servers\\";

// The driver of the connection `connection` (`,,server,printer`) of the
// user's `connections` key, into `names`; false where it is not in the
// cache, or the connection is not to a shared queue.
bool connection_driver(HKEY connections, const std::wstring& connection,
                       std::vector<std::wstring>& names) {
    const std::wstring_view text(connection);
    if (!text.starts_with(L",,") || text.find(L',', 2) == std::wstring_view::npos) {
        return false;
    }
    const std::wstring server(text.substr(2, text.find(L',', 2) - 2));
    const std::optional<std::wstring> guid =
        registry_text(connections, connection, L"GuidPrinter", false);
    const std::optional<std::wstring> driver =
        guid ? registry_text(HKEY_LOCAL_MACHINE,
                             std::wstring(cached_servers) + server + L"\\Printers\\" + *guid +
                                 L"\\DsSpooler",
                             L"driverName", false)
             : std::nullopt;
    if (driver) {
        names.push_back(*driver);
    }
    return driver.has_value();
}

}  // namespace

std::uint32_t connection_driver_names(std::vector<std::wstring>& names) {
    std::vector<std::wstring> users;
    try {
        read_subkey_names(HKEY_USERS, users);
    } catch (const registry_failure& failure) {
        return static_cast<std::uint32_t>(failure.status);
    }
    std::uint32_t first_error = ERROR_SUCCESS;
    const auto keep = [&](LSTATUS status) {
        first_error = first_error == ERROR_SUCCESS ? static_cast<std::uint32_t>(status) : first_error;
    };
    for (const std::wstring& user : users) {
        try {
            // None: no connection, or the classes hive beside a user's.
            const unique_registry_key connections =
                open_registry_key(HKEY_USERS, user + L"\\Printers\\Connections");
            std::vector<std::wstring> made;
            if (connections) {
                read_subkey_names(connections.get(), made);
            }
            for (const std::wstring& connection : made) {
                if (!connection_driver(connections.get(), connection, names)) {
                    keep(ERROR_FILE_NOT_FOUND);
                }
            }
        } catch (const registry_failure& failure) {
            keep(failure.status);
        }
    }
    return first_error;
}
