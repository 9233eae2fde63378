#pragma once

#include <string>
#include <vector>

// A file's whole version-resource block.
class version_info {
public:
    // Throws file_version_exception when the file has no readable block.
    explicit version_info(const wchar_t* path);

    version_info(const version_info&) = delete;
    version_info& operator=(const version_info&) = delete;

    // Writes the fixed file version as a.b.c.d into text; false, with text
    // unchanged, when the block has no whole fixed file information.
    [[nodiscard]] bool version_text(std::wstring& text) const;

private:
    std::vector<unsigned char> block_;
};
