#pragma once

#include <ostream>
#include <span>

namespace pelmar::compare {

// Compares saved inventories with a baseline inventory: `arguments` are
// BASELINE INVENTORY [INVENTORY...], any of them a wildcard pattern. Writes
// the result to `out` and every input that could not be used to `error`.
// Returns the exit code: 0 when every inventory is identical to the
// baseline, 1 when one differs, 2 when an input could not be used.
[[nodiscard]] int run_compare(std::span<const wchar_t* const> arguments, std::wostream& out,
                              std::wostream& error);

}  // namespace pelmar::compare
