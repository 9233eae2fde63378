#include "file_manifest.h"

#include "install_location.h"

namespace {

constexpr std::uint32_t driver_files =
    printer_driver_directory | program_files_directory | program_files_x86_directory |
    driver_package_directory;
constexpr std::uint32_t package_files =
    program_files_directory | program_files_x86_directory | driver_package_directory;
constexpr std::uint32_t print_processor_files =
    print_processor_directory | program_files_directory | program_files_x86_directory |
    driver_package_directory;

}  // namespace

const std::array<manifest_entry, 20> file_manifest{{
    {driver_files, L"pomnres_en.dll"},
    {driver_files, L"pomnres_de.dll"},
    {driver_files, L"pomnres_fr.dll"},
    {driver_files, L"pomnres_ja.dll"},
    {driver_files, L"pomnres_es.dll"},
    {driver_files, L"pomnres_zh-CN.dll"},
    {driver_files, L"pomnres_zh-TW.dll"},
    {driver_files, L"pomnres_ko.dll"},
    {driver_files, L"pomnres_ru.dll"},
    {driver_files, L"pmomndrv.dll"},
    {driver_files, L"pmomnui.dll"},
    {driver_files, L"pmxpsomnui.dll"},
    {driver_files, L"omnprn.dll"},
    {package_files, L"pelmaromn.cat"},
    {package_files, L"pelmaromn.inf"},
    {driver_files, L"pelmaromn.txt"},
    {driver_files, L"pelmarxps.txt"},
    {driver_files, L"pelmarxpsdrv-pipelineconfig.xml"},
    {print_processor_files, L"pmproc.dll"},
    {driver_files, L"basecapabilities.xml"},
}};
