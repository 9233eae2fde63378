#include <bitset>
#include <cstdint>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "file_manifest.h"

TEST(file_manifest, lists_the_twenty_files_in_table_order) {
    const struct {
        std::uint32_t locations;
        const wchar_t* file_name;
    } expected[] = {
        {0x1D, L"pomnres_en.dll"},   {0x1D, L"pomnres_de.dll"},
        {0x1D, L"pomnres_fr.dll"},   {0x1D, L"pomnres_ja.dll"},
        {0x1D, L"pomnres_es.dll"},   {0x1D, L"pomnres_zh-CN.dll"},
        {0x1D, L"pomnres_zh-TW.dll"}, {0x1D, L"pomnres_ko.dll"},
        {0x1D, L"pomnres_ru.dll"},   {0x1D, L"pmomndrv.dll"},
        {0x1D, L"pmomnui.dll"},      {0x1D, L"pmxpsomnui.dll"},
        {0x1D, L"omnprn.dll"},       {0x1C, L"pelmaromn.cat"},
        {0x1C, L"pelmaromn.inf"},    {0x1D, L"pelmaromn.txt"},
        {0x1D, L"pelmarxps.txt"},    {0x1D, L"pelmarxpsdrv-pipelineconfig.xml"},
        {0x1E, L"pmproc.dll"},       {0x1D, L"basecapabilities.xml"},
    };
    ASSERT_EQ(file_manifest.size(), std::size(expected));
    std::size_t pairs = 0;
    std::set<std::wstring> names;
    for (std::size_t index = 0; index < file_manifest.size(); ++index) {
        EXPECT_EQ(file_manifest[index].locations, expected[index].locations) << index;
        EXPECT_EQ(file_manifest[index].file_name, expected[index].file_name) << index;
        pairs += std::bitset<32>(file_manifest[index].locations).count();
        names.insert(file_manifest[index].file_name);
    }
    EXPECT_EQ(pairs, 78u);
    EXPECT_EQ(names.size(), 20u);
}
