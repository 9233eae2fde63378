#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "result.h"
#include "unique_handle.h"

namespace pelmar::win {

using unique_registry_key = unique_handle<HKEY, RegCloseKey>;

// `path` below `parent`, opened to read; an empty owner where the key is
// absent.
[[nodiscard]] result<unique_registry_key> open_registry_key(HKEY parent,
                                                            const std::wstring& path);

// The names of `key`'s subkeys.
[[nodiscard]] result<std::vector<std::wstring>> subkey_names(HKEY key);

// The names of `key`'s values.
[[nodiscard]] result<std::vector<std::wstring>> value_names(HKEY key);

// The text of the value `name` of `key`'s subkey `subkey` (empty: of `key`
// itself), REG_EXPAND_SZ expanded where `expand`; nothing where the value is
// absent or no text.
[[nodiscard]] result<std::optional<std::wstring>> registry_text(HKEY key,
                                                                const std::wstring& subkey,
                                                                const wchar_t* name, bool expand);

// The REG_DWORD value `name` of `key`; nothing where it is absent or of
// another type.
[[nodiscard]] result<std::optional<std::uint32_t>> registry_number(HKEY key, const wchar_t* name);

}  // namespace pelmar::win
