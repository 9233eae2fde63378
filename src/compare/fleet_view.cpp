#include "fleet_view.h"

#include <algorithm>
#include <iomanip>

namespace {

// A support engineer acts on the inventories named and counts the rest.
constexpr std::size_t named_per_group = 10;

}  // namespace

void fleet_view::add(group_kind kind, const std::wstring& text, std::wstring_view inventory) {
    group& to = groups_[kind][text];
    if (to.count++ < named_per_group) {
        to.inventories.emplace_back(inventory);
    }
}

void fleet_view::print(std::wostream& out) const {
    constexpr const wchar_t* headings[] = {L"Differences from the baseline, most frequent first:",
                                           L"Could not be used, most frequent first:"};
    std::uint64_t largest = 0;
    for (const auto& groups : groups_) {
        for (const auto& [text, found] : groups) {
            largest = std::max(largest, found.count);
        }
    }
    const std::size_t width = std::to_wstring(largest).size();
    const std::wstring indent(width + 6, L' ');
    for (const group_kind kind : {difference, unusable}) {
        std::vector<const std::pair<const std::wstring, group>*> order;
        for (const auto& entry : groups_[kind]) {
            order.push_back(&entry);
        }
        // Equal counts stay in the order of their texts.
        std::stable_sort(order.begin(), order.end(), [](const auto* left, const auto* right) {
            return left->second.count > right->second.count;
        });
        if (!order.empty()) {
            out << headings[kind] << L'\n';
        }
        for (const auto* entry : order) {
            const group& found = entry->second;
            out << L"  " << std::right << std::setw(static_cast<std::streamsize>(width))
                << found.count << L"  " << entry->first << L'\n';
            for (const std::wstring& inventory : found.inventories) {
                out << indent << inventory << L'\n';
            }
            if (found.count > found.inventories.size()) {
                out << indent << L"and " << found.count - found.inventories.size() << L" more\n";
            }
        }
    }
}
