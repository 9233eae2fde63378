#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The drivers of the printer connections that the users whose profiles are
// loaded made (`HKEY_USERS\<SID>\Printers\Connections\,,server,printer`), as
// this machine cached the shared queues they lead to, into `names`: run as
// SYSTEM, the spooler lists no user's connections. Returns 0, or the Windows
// error code of a key that could not be read; ERROR_FILE_NOT_FOUND where a
// connection's queue is not in the cache, whose driver is then unknown.
[[nodiscard]] std::uint32_t connection_driver_names(std::vector<std::wstring>& names);
