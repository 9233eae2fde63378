#include "report_writer.h"

#include <cstdint>

#include "crypt_provider.h"
#include "file_inspector.h"
#include "location_cache.h"
#include "table_layout.h"

namespace {

constexpr std::uint32_t last_location_bit = 16;

}  // namespace

void print_report(const manifest_entry* first, const manifest_entry* last, std::wostream& out) {
    const crypt_provider provider;

    print_header(out) << L'\n';

    for (const manifest_entry* entry = first; entry != last; ++entry) {
        for (std::uint32_t bit = 1; bit <= last_location_bit; bit <<= 1) {
            if ((entry->locations & bit) == 0) {
                continue;
            }
            const std::wstring directory = location_directory(static_cast<std::int32_t>(bit));
            const file_inspector inspector(provider, directory);
            const file_info record = inspector.inspect_file(entry->file_name.c_str());
            print_row(out, record) << L'\n';
        }
    }
}
