// Who a claimed file's row names, where the end-to-end tests cannot say:
// Wine's spooler adds no printer for a driver of the tests' making.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spooler_claims.h"

using pelmar::signatures::file_claim;
using pelmar::signatures::printer_use;
using pelmar::signatures::spooler_claims;

TEST(spooler_claims, a_row_names_each_driver_and_whether_a_printer_uses_it) {
    const std::wstring spool = L"C:\\Windows\\System32\\spool\\drivers\\";
    const std::wstring folder = spool + L"x64\\3\\";
    const std::vector<installed_driver> drivers = {
        {L"HP Universal Printing PCL 6", L"Windows x64", {folder + L"UNIDRV.DLL"}},
        {L"1234", L"Windows x64", {folder + L"unidrv.dll", folder + L"addCube.dll"}},
        // As Server 2016 gives an in-box driver's record, and a v4 driver's
        // dependent file.
        {L"Store", L"Windows x64",
         {L"C:\\Windows\\System32\\DriverStore\\FileRepository\\ntprint.inf_amd64_0a1b\\Amd64\\"
          L"hpcu240u.gpd",
          L"ntprint.inf_amd64_0a1b|UNIRES.DLL"}}};
    const std::vector<spooler_environment> environments = {
        {L"Windows x64", L"C:\\Windows\\System32\\spool\\drivers\\x64",
         L"C:\\Windows\\System32\\spool\\prtprocs\\x64", {}}};
    const std::vector<std::wstring> used = {L"hp universal printing pcl 6"};
    const struct {
        printer_use printers;
        const wchar_t* file;
        std::optional<std::wstring> by;
    } cases[] = {
        {printer_use::known, L"x64\\3\\UNIDRV.DLL",
         L"named by drivers \"HP Universal Printing PCL 6\", \"1234\" (no printer uses it)"},
        // Users' connections unread, run as SYSTEM without their rights.
        {printer_use::local_only, L"x64\\3\\addCube.dll",
         L"named by driver \"1234\" (no printer on this machine uses it)"},
        {printer_use::unknown, L"x64\\3\\Old\\2\\addCube.dll",
         L"a copy the spooler keeps of a file named by driver \"1234\""},
        {printer_use::unknown, L"x64\\3\\UNIRES.DLL", L"named by driver \"Store\""},
        {printer_use::unknown, L"x64\\3\\hpcu240u.BUD", L"a cache of hpcu240u.GPD"},
        {printer_use::unknown, L"x64\\3\\pcl\\en-US\\UNIRES.DLL.mui",
         L"a language resource of UNIRES.DLL"},
        // An x64 driver's name claims nothing in the x86 folder.
        {printer_use::known, L"w32x86\\3\\UNIDRV.DLL", std::nullopt},
    };
    for (const auto& tested : cases) {
        SCOPED_TRACE(testing::Message() << tested.file);
        const spooler_claims claims(drivers, {}, environments, used, tested.printers);
        const std::optional<file_claim> claim = claims.claim(spool + tested.file);
        EXPECT_EQ(claim ? std::optional(claim->by) : std::nullopt, tested.by);
    }
}

// What the rules must not stretch to: names that look like the spooler's
// own files but are not where or how the spooler makes them, each with what
// a user sees: no claim (a row of an unclaimed file), or a data claim,
// which an executable image under that name does not get.
TEST(spooler_claims, near_misses_are_not_claimed_as_images) {
    const std::wstring spool = L"C:\\Windows\\System32\\spool\\";
    const std::wstring folder = spool + L"drivers\\x64\\3\\";
    const std::vector<installed_driver> drivers = {
        {L"HP Universal Printing PCL 6", L"Windows x64",
         {folder + L"UNIDRV.DLL", folder + L"hpcu250u.gpd", folder + L"UNIDRV.HLP"}}};
    const std::vector<spooler_environment> environments = {
        {L"Windows x64", spool + L"drivers\\x64", spool + L"prtprocs\\x64", {}}};
    print_processor_libraries processors;
    processors.names = {{L"Windows x64", L"winprint", L"winprint.dll"}};
    const struct {
        const wchar_t* file;  // below spool
        std::optional<bool> images;  // none: no claim
    } cases[] = {
        {L"drivers\\x64\\3\\UNIDRV.HLP", true},  // a driver's help file is its own
        {L"drivers\\x64\\3\\Old\\1\\UNIDRV.DLL", true},
        {L"drivers\\x64\\3\\Old\\tmp\\UNIDRV.DLL", std::nullopt},
        {L"drivers\\x64\\3\\en-US\\UNIDRV.DLL.mui", true},
        {L"drivers\\x64\\3\\not-a-locale\\UNIDRV.DLL.mui", std::nullopt},
        {L"drivers\\x64\\3\\en-US\\UNIDRV.DLL", std::nullopt},
        {L"drivers\\x64\\3\\hpcu250u.BUD", false},
        {L"drivers\\x64\\3\\other.BUD", std::nullopt},
        {L"prtprocs\\x64\\1_winprint.dll", true},
        {L"prtprocs\\x64\\x_winprint.dll", std::nullopt},
        {L"prtprocs\\x64\\_winprint.dll", std::nullopt},
        {L"drivers\\x64\\4\\UNIDRV.DLL", std::nullopt},
    };
    const spooler_claims claims(drivers, processors, environments, {}, printer_use::known);
    for (const auto& tested : cases) {
        SCOPED_TRACE(testing::Message() << tested.file);
        const std::optional<file_claim> claim = claims.claim(spool + tested.file);
        EXPECT_EQ(claim ? std::optional(claim->images) : std::nullopt, tested.images);
    }
}
