#include "manifest_rows.h"

#include <cstdint>

#include "file_manifest.h"

namespace {

std::vector<manifest_row> list_rows() {
    std::vector<manifest_row> rows;
    for (const manifest_entry& entry : file_manifest) {
        for (std::uint32_t bit = printer_driver_directory; bit <= driver_package_directory;
             bit <<= 1) {
            if ((entry.locations & bit) != 0) {
                rows.push_back({&entry, static_cast<install_location>(bit)});
            }
        }
    }
    return rows;
}

}  // namespace

const std::vector<manifest_row>& manifest_rows() {
    static const std::vector<manifest_row> rows = list_rows();
    return rows;
}
