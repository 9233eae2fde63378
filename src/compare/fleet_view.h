#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// What a fleet's inventories have in common: the same change of the same
// file at the same location, or the same reason why an inventory could not
// be used; each group with how many inventories are in it, and which.
class fleet_view {
public:
    enum group_kind { difference, unusable };

    void add(group_kind kind, const std::wstring& text, std::wstring_view inventory);

    // Writes the groups of each kind under a heading, most frequent first,
    // each followed by the names of its first inventories.
    void print(std::wostream& out) const;

private:
    struct group {
        std::uint64_t count = 0;
        std::vector<std::wstring> inventories;  // the first ones only
    };
    std::map<std::wstring, group> groups_[2];
};
