#include "spooler_folders.h"

#include <algorithm>
#include <iterator>

#include <windows.h>
#include <winspool.h>

#include "folder_listing.h"

namespace {

// Every environment of Windows NT's spooler: a 64-bit machine keeps the
// drivers of the others for the clients it serves, and a spooler may hold
// folders of one that no driver uses any more (IA64 on servers).
constexpr const wchar_t* defined_environments[] = {
    L"Windows x64", L"Windows NT x86", L"Windows IA64", L"Windows ARM64", L"Windows 4.0"};

void add_name(std::vector<std::wstring>& names, const std::wstring& name) {
    const auto same = [&](const std::wstring& known) {
        return pelmar::win::same_file_name(known, name);
    };
    if (!name.empty() && std::none_of(names.begin(), names.end(), same)) {
        names.push_back(name);
    }
}

// The spooler's answer to `query` (GetPrinterDriverDirectoryW or
// GetPrintProcessorDirectoryW) for `environment`: 0 and the folder, or the
// Windows error code.
template <typename query_type>
std::uint32_t folder_of(query_type query, const std::wstring& environment, std::wstring& folder) {
    auto name = environment;
    DWORD needed = 0;
    if (!query(nullptr, name.data(), 1, nullptr, 0, &needed)) {
        if (const DWORD error = GetLastError(); error != ERROR_INSUFFICIENT_BUFFER) {
            return error;
        }
    }
    std::wstring text(needed / sizeof(wchar_t) + 1, L'\0');
    if (!query(nullptr, name.data(), 1, reinterpret_cast<BYTE*>(text.data()),
               static_cast<DWORD>(text.size() * sizeof(wchar_t)), &needed)) {
        return GetLastError();
    }
    folder.assign(text.c_str());
    return 0;
}

}  // namespace

std::vector<spooler_environment> spooler_environments(const std::vector<std::wstring>& named) {
    std::vector<std::wstring> names(std::begin(defined_environments),
                                    std::end(defined_environments));
    for (const std::wstring& name : named) {
        add_name(names, name);
    }
    std::vector<spooler_environment> found;
    for (const std::wstring& name : names) {
        spooler_environment environment{name, {}, {}, 0};
        environment.error_code = folder_of(GetPrinterDriverDirectoryW, name, environment.driver_folder);
        if (environment.error_code == 0) {
            environment.error_code =
                folder_of(GetPrintProcessorDirectoryW, name, environment.processor_folder);
        }
        if (environment.error_code != ERROR_INVALID_ENVIRONMENT) {
            found.push_back(std::move(environment));
        }
    }
    return found;
}
