#pragma once

#include <vector>

#include "registered_modules.h"
#include "spooler_registrations.h"

namespace pelmar::signatures {

// A row for each setting that lets others add what the spooler loads, or
// reach it from the network, where it is set so: its STATUS `exposed`,
// its DETAIL the value, what it allows and Microsoft's article on it.
[[nodiscard]] std::vector<registry_finding> exposed_settings(
    const spooler_registrations& registry);

}  // namespace pelmar::signatures
