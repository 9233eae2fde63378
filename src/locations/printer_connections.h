#pragma once

#include <string>
#include <vector>

#include "result.h"

// The drivers of the printer connections that the users whose profiles are
// loaded made (`HKEY_USERS\<SID>\Printers\Connections\,,server,printer`), as
// this machine cached the shared queues they lead to, into `names`: run as
// SYSTEM, the spooler lists no user's connections. Returns the first read that
// failed, ERROR_FILE_NOT_FOUND where a connection's queue is not in the cache,
// whose driver is then unknown; the names found are kept.
[[nodiscard]] pelmar::win::status connection_driver_names(std::vector<std::wstring>& names);
