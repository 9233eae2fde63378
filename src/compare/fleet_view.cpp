#include "fleet_view.h"

#include <algorithm>
#include <iomanip>

#include "row_names.h"

namespace {

// How many inventories a group names; a support engineer acts on these and
// counts the rest.
constexpr std::size_t named_per_group = 10;

// The groups of `groups`, most frequent first, equal counts in key order.
template <typename map>
std::vector<const typename map::value_type*> by_count(const map& groups) {
    std::vector<const typename map::value_type*> order;
    for (const auto& entry : groups) {
        order.push_back(&entry);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto* left, const auto* right) {
        return left->second.count > right->second.count;
    });
    return order;
}

}  // namespace

void fleet_view::add(group& to, std::wstring_view inventory) {
    if (to.count++ < named_per_group) {
        to.inventories.emplace_back(inventory);
    }
}

void fleet_view::add_difference(std::size_t row, const std::wstring& change,
                                std::wstring_view inventory) {
    add(differences_[{row, change}], inventory);
}

void fleet_view::add_unusable(const std::wstring& reason, std::wstring_view inventory) {
    add(unusable_[reason], inventory);
}

void fleet_view::print(std::wostream& out) const {
    std::uint64_t largest = 0;
    for (const auto& [key, found] : differences_) {
        largest = std::max(largest, found.count);
    }
    for (const auto& [key, found] : unusable_) {
        largest = std::max(largest, found.count);
    }
    const auto count_width = static_cast<std::streamsize>(std::to_wstring(largest).size());
    const std::wstring indent(static_cast<std::size_t>(count_width) + 4, L' ');
    const auto count = [&](const group& found) -> std::wostream& {
        return out << L"  " << std::right << std::setw(count_width) << found.count << L"  "
                   << std::left;
    };
    const auto inventories = [&](const group& found) {
        for (const std::wstring& inventory : found.inventories) {
            out << indent << L"  " << inventory << L'\n';
        }
        if (found.count > found.inventories.size()) {
            out << indent << L"  and " << found.count - found.inventories.size() << L" more\n";
        }
    };

    if (!differences_.empty()) {
        out << L"Differences from the baseline, most frequent first:\n";
        for (const auto* entry : by_count(differences_)) {
            print_row_names(count(entry->second), entry->first.first)
                << entry->first.second << L'\n';
            inventories(entry->second);
        }
    }
    if (!unusable_.empty()) {
        out << L"Could not be used, most frequent first:\n";
        for (const auto* entry : by_count(unusable_)) {
            count(entry->second) << entry->first << L'\n';
            inventories(entry->second);
        }
    }
}
