#include "report_writer.h"

#include <cstdint>

#include "crypt_provider.h"
#include "file_inspector.h"
#include "location_cache.h"
#include "manifest_rows.h"
#include "table_layout.h"

void print_report(const manifest_entry* first, const manifest_entry* last, std::wostream& out) {
    const crypt_provider provider;

    print_header(out) << L'\n';

    for (const manifest_row& row : manifest_rows(first, last)) {
        const std::wstring directory = location_directory(static_cast<std::int32_t>(row.location));
        const file_inspector inspector(provider, directory);
        const file_info record = inspector.inspect_file(row.entry->file_name.c_str());
        print_row(out, record) << L'\n';
    }
}
