#include "table_layout.h"

#include <iomanip>

using namespace table_layout;

std::wostream& print_header(std::wostream& out) {
    out << std::left << std::setw(hash_width) << L"HASH" << separator;
    out << std::right << std::setw(size_width) << L"SIZE" << separator;
    out << std::left << std::setw(version_width) << L"VERSION" << separator;
    out << std::left << std::setw(file_name_width) << L"FILENAME" << separator;
    out << std::left << L"DIRECTORY";
    return out;
}

std::wostream& print_row(std::wostream& out, const file_info& info) {
    out << std::left << std::setw(hash_width) << info.hash() << separator;
    out << std::right << std::setw(size_width);
    if (info.size() == file_info::unmeasured) {
        out << file_info::not_inspected;
    } else {
        out << std::dec << info.size();
    }
    out << separator;
    out << std::left << std::setw(version_width) << info.version() << separator;
    out << std::left << std::setw(file_name_width) << info.file_name() << separator;
    out << std::left << info.directory();
    return out;
}
