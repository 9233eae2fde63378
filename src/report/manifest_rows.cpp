#include "manifest_rows.h"

#include <cstdint>

#include "file_manifest.h"

std::vector<manifest_row> manifest_rows(const manifest_entry* first, const manifest_entry* last) {
    std::vector<manifest_row> rows;
    for (const manifest_entry* entry = first; entry != last; ++entry) {
        for (std::uint32_t bit = printer_driver_directory; bit <= driver_package_directory;
             bit <<= 1) {
            if ((entry->locations & bit) != 0) {
                rows.push_back({entry, static_cast<install_location>(bit)});
            }
        }
    }
    return rows;
}

const std::vector<manifest_row>& manifest_rows() {
    static const std::vector<manifest_row> rows =
        manifest_rows(file_manifest.data(), file_manifest.data() + file_manifest.size());
    return rows;
}
