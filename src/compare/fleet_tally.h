#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

// Per table row, how many inventories differ from the baseline in it: the
// fleet's view of where installations drift. One counter per row, however
// many inventories are compared.
class fleet_tally {
public:
    fleet_tally();

    void count_difference(std::size_t row);

    // Writes the rows that differed anywhere, most frequent first and ties in
    // table order, under a heading; nothing when no row differed.
    void print(std::wostream& out) const;

private:
    std::vector<std::uint64_t> counts_;
};
