#include "print_processor_libraries.h"

#include "registry.h"

namespace {

using namespace pelmar;

constexpr const wchar_t* environments_path =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";

// The processors registered for each environment into `found`; the failure
// that ended the read, the names read before it kept.
win::status read_processors(print_processor_libraries& found) {
    const auto environments = win::open_registry_key(HKEY_LOCAL_MACHINE, environments_path);
    if (!environments || !environments.value()) {
        return environments ? std::nullopt : win::status(environments.error());
    }
    auto names = win::subkey_names(environments.value().get());
    if (!names) {
        return names.error();
    }
    found.environments = std::move(names.value());
    for (const std::wstring& environment : found.environments) {
        const auto processors = win::open_registry_key(environments.value().get(),
                                                       environment + L"\\Print Processors");
        if (!processors) {
            return processors.error();
        }
        if (!processors.value()) {
            continue;
        }
        const auto processor_names = win::subkey_names(processors.value().get());
        if (!processor_names) {
            return processor_names.error();
        }
        for (const std::wstring& name : processor_names.value()) {
            // Unexpanded: only the file name at its end names the library
            // in the processor folder.
            auto library = win::registry_text(processors.value().get(), name, L"Driver", false);
            if (!library) {
                return library.error();
            }
            if (library.value() && !library.value()->empty()) {
                found.names.push_back({environment, name, std::move(*library.value())});
            }
        }
    }
    return std::nullopt;
}

}  // namespace

print_processor_libraries registered_print_processors() {
    print_processor_libraries found;
    found.failure = read_processors(found);
    return found;
}
