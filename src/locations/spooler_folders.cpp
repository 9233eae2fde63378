#include "spooler_folders.h"

#include <algorithm>
#include <iterator>

#include <windows.h>

#include "folder_listing.h"
#include "spooler.h"

namespace {

using namespace pelmar;

// Every environment of Windows NT's spooler: a 64-bit machine keeps the
// drivers of the others for the clients it serves, and a spooler may hold
// folders of one that no driver uses any more (IA64 on servers).
constexpr const wchar_t* defined_environments[] = {
    L"Windows x64", L"Windows NT x86", L"Windows IA64", L"Windows ARM64", L"Windows 4.0"};

void add_name(std::vector<std::wstring>& names, const std::wstring& name) {
    const auto same = [&](const std::wstring& known) {
        return win::same_file_name(known, name);
    };
    if (!name.empty() && std::none_of(names.begin(), names.end(), same)) {
        names.push_back(name);
    }
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
        spooler_environment environment{name, {}, {}, {}};
        auto drivers = win::spooler_folder_of(win::spooler_folder::drivers, name);
        if (!drivers) {
            environment.failure = drivers.error();
        } else if (auto processors =
                       win::spooler_folder_of(win::spooler_folder::print_processors, name);
                   !processors) {
            environment.failure = processors.error();
        } else {
            environment.driver_folder = std::move(drivers).value();
            environment.processor_folder = std::move(processors).value();
        }
        if (!environment.failure || environment.failure->code != ERROR_INVALID_ENVIRONMENT) {
            found.push_back(std::move(environment));
        }
    }
    return found;
}
