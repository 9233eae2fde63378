#include "spooler_settings.h"

namespace pelmar::signatures {

namespace {

constexpr const wchar_t* point_and_print =
    L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\PointAndPrint";
constexpr const wchar_t* printers = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers";

registry_finding exposed(const wchar_t* key, const wchar_t* name, std::wstring detail) {
    return {machine_key_text(key), name, {signature_status::exposed, {}, {std::move(detail)}}};
}

}  // namespace

std::vector<registry_finding> exposed_settings(const spooler_registrations& registry) {
    std::vector<registry_finding> found;
    if (registry.restrict_driver_installation == 0u) {
        found.push_back(exposed(
            point_and_print, L"RestrictDriverInstallationToAdministrators",
            L"0: users who are not administrators may install printer drivers through Point "
            L"and Print (KB5005652)"));
    }
    if (registry.no_warning_no_elevation == 1u) {
        found.push_back(exposed(
            point_and_print, L"NoWarningNoElevationOnInstall",
            L"1: Point and Print installs a printer's driver without a warning or an elevation "
            L"prompt (KB5005652; Point and Print Restrictions)"));
    }
    if (registry.update_prompt == 1u || registry.update_prompt == 2u) {
        found.push_back(exposed(
            point_and_print, L"UpdatePromptSettings",
            *registry.update_prompt == 1u
                ? L"1: Point and Print updates a printer's driver without an elevation prompt "
                  L"(KB5005652; Point and Print Restrictions)"
                : L"2: Point and Print updates a printer's driver without a warning or an "
                  L"elevation prompt (KB5005652; Point and Print Restrictions)"));
    }
    if (registry.remote_rpc_endpoint == 1u && !registry.printer_shared) {
        found.push_back(exposed(
            printers, L"RegisterSpoolerRemoteRpcEndPoint",
            L"1: the spooler accepts connections from the network though no printer is shared "
            L"(Allow Print Spooler to accept client connections; CVE-2021-34527)"));
    }
    if (registry.domain_controller) {
        found.push_back(exposed(
            L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", L"ProductType",
            L"LanmanNT: the spooler runs on a domain controller, which any domain user can "
            L"then make authenticate elsewhere (Defender for Identity: domain controllers "
            L"with Print spooler service available)"));
    }
    return found;
}

}  // namespace pelmar::signatures
