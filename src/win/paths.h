#pragma once

#include <string>

#include "result.h"

namespace pelmar::win {

// `path` whole, relative to the current folder where it is not a full one,
// with `.` and `..` resolved, as Windows opens it.
[[nodiscard]] result<std::wstring> full_path(const std::wstring& path);

// The System32 folder, where the spooler finds a library named without a
// folder.
[[nodiscard]] result<std::wstring> system_folder();

// The Windows folder, of the system rather than of a user's session.
[[nodiscard]] result<std::wstring> windows_folder();

}  // namespace pelmar::win
