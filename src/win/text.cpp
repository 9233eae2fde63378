#include "text.h"

#include <windows.h>

namespace pelmar::win {

std::optional<std::wstring> from_utf8(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), text.data(),
                            static_cast<int>(text.size()))));
    // A failed conversion gives nothing.
    return bytes.empty() || !text.empty() ? std::optional(std::move(text)) : std::nullopt;
}

bool has_utf8_form(std::wstring_view text) {
    return text.empty() || WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0,
                                               nullptr, nullptr) > 0;
}

}  // namespace pelmar::win
