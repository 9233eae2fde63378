#include "print_processor_libraries.h"

#include "registry_reads.h"

namespace {

constexpr const wchar_t* environments_path =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";

}  // namespace

print_processor_libraries registered_print_processors() {
    print_processor_libraries found;
    try {
        const auto environments = open_registry_key(HKEY_LOCAL_MACHINE, environments_path);
        if (!environments) {
            return found;
        }
        read_subkey_names(environments.get(), found.environments);
        for (const std::wstring& environment : found.environments) {
            const auto processors =
                open_registry_key(environments.get(), environment + L"\\Print Processors");
            if (!processors) {
                continue;
            }
            std::vector<std::wstring> names;
            read_subkey_names(processors.get(), names);
            for (const std::wstring& name : names) {
                // Unexpanded: only the file name at its end names the library
                // in the processor folder.
                std::optional<std::wstring> library =
                    registry_text(processors.get(), name, L"Driver", false);
                if (library && !library->empty()) {
                    found.names.push_back({environment, name, std::move(*library)});
                }
            }
        }
    } catch (const registry_failure& failure) {
        found.error_code = static_cast<std::uint32_t>(failure.status);
    }
    return found;
}
