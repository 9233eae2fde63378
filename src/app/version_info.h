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

    // The fixed file version as a.b.c.d; empty when the block has no whole
    // fixed file information.
    [[nodiscard]] std::wstring version_text() const;

private:
    std::vector<unsigned char> block_;
};
