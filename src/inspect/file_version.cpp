#include "file_version.h"

#include <cstdint>
#include <cstring>
#include <sstream>

#include <windows.h>

#include "file_info.h"

std::wstring file_version_string(const wchar_t* path) {
    const std::wstring not_available(file_info::no_version);
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    if (size == 0) {
        return not_available;
    }
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) {
        return not_available;
    }
    return fixed_version_text(block).value_or(not_available);
}

std::optional<std::wstring> fixed_version_text(const std::vector<unsigned char>& block) {
    void* record = nullptr;
    UINT length = 0;
    // The service hands back whatever the file claims for the root value. A
    // value shorter than the structure is followed by bytes of something else;
    // a file cut short of what its header claims puts the value partly or
    // wholly past the end of the block.
    if (!VerQueryValueW(block.data(), L"\\", &record, &length) ||
        length < sizeof(VS_FIXEDFILEINFO) || block.size() < sizeof(WORD)) {
        return std::nullopt;
    }
    // The block ends where its root record's own length (its first WORD)
    // says, not where the buffer does: the service asks for room beyond the
    // copied block for its own conversions and marks it, and a value that
    // runs past the declared end would be read from there.
    WORD declared = 0;
    std::memcpy(&declared, block.data(), sizeof declared);
    if (declared > block.size() || declared < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    // Unsigned, so that a record before the block (or none) is as far out as
    // one after it.
    const std::uintptr_t offset =
        reinterpret_cast<std::uintptr_t>(record) - reinterpret_cast<std::uintptr_t>(block.data());
    if (offset > declared - sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(record);
    std::wostringstream text;
    text << HIWORD(fixed.dwFileVersionMS) << L'.' << LOWORD(fixed.dwFileVersionMS) << L'.'
         << HIWORD(fixed.dwFileVersionLS) << L'.' << LOWORD(fixed.dwFileVersionLS);
    return text.str();
}
