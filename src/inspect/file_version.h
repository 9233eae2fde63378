#pragma once

#include <optional>
#include <string>
#include <vector>

// The fixed file version of the file at path as a.b.c.d, or "N/A" when the
// file has no readable version resource. Throws nothing of its own.
[[nodiscard]] std::wstring file_version_string(const wchar_t* path);

// The fixed file version held in a version-resource block, as a.b.c.d in plain
// decimal; nothing when the block has no root record, or one too short to hold
// the fixed file information, or one that does not lie wholly inside the
// length the block declares for itself.
[[nodiscard]] std::optional<std::wstring> fixed_version_text(
    const std::vector<unsigned char>& block);
