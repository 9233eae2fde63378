#include <bitset>
#include <cstdint>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "file_manifest.h"
#include "manifest_rows.h"

constexpr std::uint32_t all_locations = printer_driver_directory | print_processor_directory |
                                        program_files_directory | program_files_x86_directory |
                                        driver_package_directory;

TEST(file_manifest, holds_twenty_distinct_files_each_in_some_of_the_five_locations) {
    ASSERT_EQ(file_manifest.size(), 20u);
    std::set<std::wstring> names;
    std::size_t rows = 0;
    for (const manifest_entry& entry : file_manifest) {
        SCOPED_TRACE(testing::Message() << entry.file_name.c_str());
        EXPECT_FALSE(entry.file_name.empty());
        EXPECT_TRUE(names.insert(entry.file_name).second);
        EXPECT_NE(entry.locations, 0u);
        EXPECT_EQ(entry.locations & ~all_locations, 0u);
        rows += std::bitset<32>(entry.locations).count();
    }
    EXPECT_EQ(rows, 78u);
}

TEST(manifest_rows, lists_each_file_at_its_locations_in_ascending_location_order) {
    const std::vector<manifest_row>& rows = manifest_rows();
    std::size_t at = 0;
    for (const manifest_entry& entry : file_manifest) {
        SCOPED_TRACE(testing::Message() << entry.file_name.c_str());
        std::uint32_t seen = 0;
        for (; at < rows.size() && rows[at].entry == &entry; ++at) {
            // Each location a bit of the entry's, above every one before it.
            EXPECT_NE(entry.locations & rows[at].location, 0u);
            EXPECT_LT(seen, static_cast<std::uint32_t>(rows[at].location));
            seen |= rows[at].location;
        }
        EXPECT_EQ(seen, entry.locations);
    }
    EXPECT_EQ(at, rows.size());
}
