#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "unique_handle.h"

// The few registry reads the spooler's registrations need, for the
// locations' own use: each throws registry_failure where Windows refuses,
// and the one public function that reads a part of the registry turns it
// into the error code of its result.

using unique_registry_key = unique_handle<HKEY, RegCloseKey>;

struct registry_failure {
    LSTATUS status;
};

// `path` below `parent`, opened to read; an empty owner when the key is
// absent.
[[nodiscard]] unique_registry_key open_registry_key(HKEY parent, const std::wstring& path);

// Appends the names of `key`'s subkeys to `names`.
void read_subkey_names(HKEY key, std::vector<std::wstring>& names);

// Appends the names of `key`'s values to `names`.
void read_value_names(HKEY key, std::vector<std::wstring>& names);

// The text of the value `name` of `key`'s subkey `subkey` (empty: of `key`
// itself), REG_EXPAND_SZ expanded where `expand`; nothing where the value is
// absent or no text.
[[nodiscard]] std::optional<std::wstring> registry_text(HKEY key, const std::wstring& subkey,
                                                        const wchar_t* name, bool expand);

// The REG_DWORD value `name` of `key`; nothing where it is absent or of
// another type.
[[nodiscard]] std::optional<std::uint32_t> registry_number(HKEY key, const wchar_t* name);
