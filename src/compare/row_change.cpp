#include "row_change.h"

row_change compare_rows(const inventory_row& baseline, const inventory_row& other) {
    if (baseline.location_exists != other.location_exists) {
        return baseline.location_exists ? row_change::location_missing
                                        : row_change::location_added;
    }
    if (baseline.file_present != other.file_present) {
        return baseline.file_present ? row_change::file_missing : row_change::file_added;
    }
    if (!baseline.file_present) {
        return row_change::none;
    }
    if (baseline.version != other.version || baseline.size != other.size) {
        return row_change::changed;
    }
    return baseline.hash != other.hash ? row_change::corrupt : row_change::none;
}

std::wstring_view change_name(row_change change) {
    constexpr std::wstring_view names[] = {L"",           L"location missing", L"location added",
                                           L"file missing", L"file added",     L"changed",
                                           L"corrupt or altered"};
    return names[static_cast<int>(change)];
}

std::wstring change_text(row_change change, const inventory_row& baseline,
                         const inventory_row& other) {
    if (change == row_change::corrupt) {
        return L"content differs at the same version and size: corrupt or altered";
    }
    if (change != row_change::changed) {
        return std::wstring(change_name(change));
    }
    std::wstring text;
    if (baseline.version != other.version) {
        text.append(L"version ").append(baseline.version).append(L" -> ").append(other.version);
    }
    if (baseline.size != other.size) {
        text += text.empty() ? L"size " : L", size ";
        text += std::to_wstring(baseline.size) + L" -> " + std::to_wstring(other.size);
    }
    return text;
}
