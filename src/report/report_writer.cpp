#include "report_writer.h"

#include <cstdint>
#include <iomanip>

#include "crypt_provider.h"
#include "file_inspector.h"
#include "location_cache.h"

namespace {

constexpr std::uint32_t last_location_bit = 16;

}  // namespace

std::wostream& print_row(std::wostream& out, const file_info& info) {
    out << std::left << std::setw(40) << info.hash() << L'\t';
    out << std::right << std::setw(10);
    if (info.size() == file_info::unmeasured) {
        out << L"--";
    } else {
        out << std::dec << info.size();
    }
    out << L'\t';
    out << std::left << std::setw(25) << info.version() << L'\t';
    out << std::left << std::setw(30) << info.file_name() << L'\t';
    out << std::left << info.directory();
    return out;
}

void print_report(const manifest_entry* first, const manifest_entry* last, std::wostream& out) {
    const crypt_provider provider;

    out << std::left << std::setw(40) << L"HASH" << L'\t';
    out << std::right << std::setw(10) << L"SIZE" << L'\t';
    out << std::left << std::setw(25) << L"VERSION" << L'\t';
    out << std::left << std::setw(30) << L"FILENAME" << L'\t';
    out << std::left << L"DIRECTORY\n";

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
