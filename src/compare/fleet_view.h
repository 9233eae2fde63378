#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a fleet's inventories have in common: the same change of the same
// file at the same location, or the same reason that an inventory could not
// be used, each with how many inventories have it and which.
class fleet_view {
public:
    void add_difference(std::size_t row, const std::wstring& change, std::wstring_view inventory);
    void add_unusable(const std::wstring& reason, std::wstring_view inventory);

    // Writes the groups, most frequent first, each naming its first
    // inventories; nothing for a kind without groups.
    void print(std::wostream& out) const;

private:
    struct group {
        std::uint64_t count = 0;
        std::vector<std::wstring> inventories;  // the first ones only
    };
    static void add(group& to, std::wstring_view inventory);

    // Keyed by table row and change, so that equal counts keep table order.
    std::map<std::pair<std::size_t, std::wstring>, group> differences_;
    std::map<std::wstring, group> unusable_;
};
