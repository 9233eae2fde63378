#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "compare_run.h"
#include "file_info.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "program_run.h"
#include "table_layout.h"
#include "temp_folder.h"

// One row's values as the utility would have found them.
struct row_values {
    std::wstring directory;
    std::uint64_t size;
    std::wstring version;
    std::wstring hash;
};

// A machine with every kind of row: files found with and without a version,
// files absent from an existing folder, and a missing location.
inline row_values lab_machine_row(std::size_t index) {
    std::wstring hash(40, L'0');
    for (std::size_t digit = 0; digit < hash.size(); ++digit) {
        hash[digit] = L"0123456789abcdef"[(index * 7 + digit * 3) % 16];
    }
    switch (const install_location location = manifest_rows()[index].location) {
        case printer_driver_directory:
            return {L"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\", 20480 + index,
                    L"1.0." + std::to_wstring(index) + L".65535", hash};
        case print_processor_directory:
            return {L"C:\\Windows\\system32\\spool\\prtprocs\\x64\\", 8192, L"1.0.0.1", hash};
        case program_files_directory:
            return {L"C:\\Program Files\\Pelmar\\printer", file_info::unmeasured, L"--", L"--"};
        case program_files_x86_directory:
            return {std::wstring(missing_text(location)), file_info::unmeasured, L"--", L"--"};
        default:
            return {L"C:\\Windows\\System32\\DriverStore\\FileRepository\\pelmaromn.inf_amd64\\",
                    index, L"N/A", hash};
    }
}

// The utility's table for the lab machine, changed where `change` says so.
inline std::wstring utility_table(
    const std::function<void(std::size_t, row_values&)>& change = nullptr,
    const wchar_t* line_end = L"\n") {
    std::wostringstream table;
    print_header(table) << line_end;
    for (std::size_t index = 0; index < manifest_rows().size(); ++index) {
        row_values values = lab_machine_row(index);
        if (change) {
            change(index, values);
        }
        print_row(table, file_info(values.directory, manifest_rows()[index].entry->file_name,
                                   values.size, values.version, values.hash))
            << line_end;
    }
    return table.str();
}

inline std::string utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// As Windows PowerShell 5.1's > saves it: UTF-16LE after a byte order mark.
inline std::string utf16le(const std::wstring& text) {
    return "\xFF\xFE" +
           std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

inline run_result run(const std::vector<std::wstring>& arguments) {
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    return run_program(pelmar::compare::run_compare, pointers);
}
