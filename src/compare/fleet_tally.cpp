#include "fleet_tally.h"

#include <algorithm>
#include <iomanip>
#include <numeric>
#include <string>

#include "difference_layout.h"
#include "location_name.h"
#include "manifest_rows.h"

fleet_tally::fleet_tally() : counts_(manifest_rows().size()) {}

void fleet_tally::count_difference(std::size_t row) {
    ++counts_[row];
}

void fleet_tally::print(std::wostream& out) const {
    std::vector<std::size_t> order(counts_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](std::size_t left, std::size_t right) {
        return counts_[left] > counts_[right];
    });
    if (order.empty() || counts_[order.front()] == 0) {
        return;
    }
    const auto count_width =
        static_cast<std::streamsize>(std::to_wstring(counts_[order.front()]).size());
    const auto file_width = static_cast<std::streamsize>(file_column_width());
    out << L"Differences from the baseline by file and location, most frequent first:\n";
    for (const std::size_t row : order) {
        if (counts_[row] == 0) {
            break;
        }
        const manifest_row& names = manifest_rows()[row];
        out << L"  " << std::right << std::setw(count_width) << counts_[row] << L"  " << std::left
            << std::setw(file_width) << names.entry->file_name << location_name(names.location)
            << L'\n';
    }
}
