#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelmar::win {

// `bytes` decoded as UTF-8; nothing where they are not well-formed UTF-8.
[[nodiscard]] std::optional<std::wstring> from_utf8(std::string_view bytes);

// Whether `text` has a UTF-8 form: no unpaired surrogate.
[[nodiscard]] bool has_utf8_form(std::wstring_view text);

}  // namespace pelmar::win
