#include "signature_options.h"

#include <cwchar>
#include <string_view>

namespace pelmar::signatures {

namespace {

// A thumbprint as the Certificates console shows it: hex digits, in pairs or
// not, in either letter case. A copy from the console may begin with an
// invisible left-to-right mark, which is left out too. Empty unless it
// is 20 or 32 bytes long.
[[nodiscard]] std::vector<unsigned char> thumbprint_of(std::wstring_view text) {
    std::wstring digits;
    for (const wchar_t character : text) {
        if (character != L' ' && character != L'\x200E') {
            digits += character;
        }
    }
    std::vector<unsigned char> thumbprint;
    if ((digits.size() != 40 && digits.size() != 64) ||
        digits.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) {
        return thumbprint;
    }
    for (std::size_t index = 0; index < digits.size(); index += 2) {
        const std::wstring pair = digits.substr(index, 2);
        thumbprint.push_back(static_cast<unsigned char>(std::wcstoul(pair.c_str(), nullptr, 16)));
    }
    return thumbprint;
}

}  // namespace

bool parse_options(std::span<const wchar_t* const> arguments, options& parsed,
                         std::wstring& problem) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::wstring_view argument = arguments[index];
        if (argument == L"--help" || argument == L"/?") {
            parsed.help = true;
        } else if (argument == L"--csv" || argument == L"--json") {
            const output_format asked =
                argument == L"--csv" ? output_format::csv : output_format::json;
            if (parsed.format != output_format::table && parsed.format != asked) {
                problem = L"--csv and --json exclude each other";
                return false;
            }
            parsed.format = asked;
        } else if (argument == L"--signer") {
            if (index + 1 == arguments.size()) {
                problem = L"--signer needs a name";
                return false;
            }
            parsed.signers.emplace_back(arguments[++index]);
        } else if (argument == L"--thumbprint") {
            std::vector<unsigned char> thumbprint;
            if (index + 1 < arguments.size()) {
                thumbprint = thumbprint_of(arguments[++index]);
            }
            if (thumbprint.empty()) {
                problem = L"--thumbprint needs 40 or 64 hex digits";
                return false;
            }
            parsed.thumbprints.push_back(std::move(thumbprint));
        } else {
            problem = L"unknown option: " + std::wstring(argument);
            return false;
        }
    }
    return true;
}

}  // namespace pelmar::signatures
