#pragma once

#include <string>

#include <windows.h>

// The path of a known folder for the current user, as the shell gives it;
// empty when the shell cannot tell. Only exhausted memory throws.
[[nodiscard]] std::wstring known_folder_path(const GUID& folder);
