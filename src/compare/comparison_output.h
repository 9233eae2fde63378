#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "inventory_reader.h"

namespace pelmar::compare {

// How a row of an inventory differs from the baseline's row of the same file
// and location, the first that applies.
enum class row_change {
    same, location_missing, location_added, file_missing, file_added, version_or_size, content };

// The rows of an inventory that differ from the baseline's, by row number.
using row_changes = std::vector<std::pair<std::size_t, row_change>>;

// Where a comparison's findings go, in the order of the inputs.
class comparison_output {
public:
    virtual ~comparison_output() = default;
    // The inventory `name` read into `other`, whose rows differ from the
    // baseline's as `changes` say; identical when complete and unchanged.
    virtual void compared(const std::wstring& name, const inventory& baseline,
                          const inventory& other, const row_changes& changes) = 0;
    // An inventory that could not be used, or not wholly, for `problem`.
    virtual void unusable(const std::wstring& name, const std::wstring& problem) = 0;
    // After the last inventory: how many were identical, differed, could not
    // be used, and the run's exit code.
    virtual void summary(std::uint64_t, std::uint64_t, std::uint64_t, int) {}
};

// Lines for a person to read, and for a fleet its counts and what its
// inventories have in common.
[[nodiscard]] std::unique_ptr<comparison_output> text_output(std::wostream& out);
// CSV, UTF-8 with a byte order mark: a record per differing row, identical
// inventory and unusable inventory, after the header, which it writes at once.
[[nodiscard]] std::unique_ptr<comparison_output> csv_output(std::wostream& out);
// JSON Lines: an object per differing row, identical inventory and unusable
// inventory, with the CSV's fields, and a closing one with the counts and the
// exit code.
[[nodiscard]] std::unique_ptr<comparison_output> json_output(std::wostream& out);

}  // namespace pelmar::compare
