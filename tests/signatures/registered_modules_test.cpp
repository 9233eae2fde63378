// What the end-to-end tests cannot make: Wine's spooler keeps no language
// monitor in a driver's record, so the monitor's row naming the drivers
// that use it, one library named by several values, and which print
// processors the spooler loads itself, are shown here.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registered_modules.h"

TEST(registered_modules, a_monitor_says_which_drivers_use_it_and_a_library_is_judged_once) {
    const std::wstring print = L"SYSTEM\\CurrentControlSet\\Control\\Print";
    spooler_registrations registry;
    registry.modules = {
        {print, L"Monitors\\PJL Language Monitor\\Driver", L"pjlmon.dll"},
        {print, L"Monitors\\Local Port\\Driver", L"localspl"},
        {print, L"Printers\\A\\CopyFiles\\ICM\\Module", L"mscms.dll"},
        {print, L"Printers\\B\\CopyFiles\\ICM\\Module", L"MSCMS.DLL"},
        {print, L"Printers\\C\\CopyFiles\\ICM\\Module", L"C:\\Windows\\System32\\mscms.dll"}};
    const std::vector<installed_driver> drivers = {
        {L"HP Universal Printing PCL 6", L"Windows x64", {}, L"pjl language monitor"},
        {L"HP Universal Printing PCL 6", L"Windows NT x86", {}, L"PJL Language Monitor"},
        {L"Contoso", L"Windows x64", {}, L"PJL Language Monitor"},
        {L"Microsoft Print To PDF", L"Windows x64", {}, L""}};
    const std::wstring spool = L"C:\\Windows\\System32\\spool\\";
    const std::vector<spooler_environment> environments = {
        {L"Windows x64", spool + L"drivers\\x64", spool + L"prtprocs\\x64", {}},
        {L"Windows NT x86", spool + L"drivers\\W32X86", spool + L"prtprocs\\W32X86", {}}};
    print_processor_libraries processors;
    processors.names = {{L"Windows NT x86", L"winprint", L"winprint.dll"},
                        {L"windows x64", L"UDPrint", L"..\\..\\spool.dll"}};
    const pelmar::signatures::registered_sources found =
        pelmar::signatures::registered_sources_of(registry, processors, environments, drivers);
    std::vector<std::wstring> by;
    for (const pelmar::signatures::registered_module& module : found.modules) {
        by.push_back(module.by + (module.loaded_here ? L"" : L" (for clients)"));
    }
    EXPECT_EQ(by, (std::vector<std::wstring>{
                      L"Monitors\\PJL Language Monitor\\Driver, the language monitor of drivers "
                      L"\"HP Universal Printing PCL 6\", \"Contoso\"",
                      L"Monitors\\Local Port\\Driver",
                      L"Printers\\A\\CopyFiles\\ICM\\Module and 2 more",
                      L"Environments\\Windows NT x86\\Print Processors\\winprint\\Driver "
                      L"(for clients)",
                      L"Environments\\windows x64\\Print Processors\\UDPrint\\Driver"}));
    EXPECT_EQ(found.modules.back().path, L"C:\\Windows\\System32\\spool\\spool.dll");
    EXPECT_TRUE(found.modules[1].path.ends_with(L"\\localspl.dll"));  // as LoadLibrary adds it
    EXPECT_TRUE(found.findings.empty());
}
