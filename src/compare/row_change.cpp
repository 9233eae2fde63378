#include "row_change.h"

std::wstring row_change(const inventory_row& baseline, const inventory_row& other) {
    if (baseline.location_exists != other.location_exists) {
        return baseline.location_exists ? L"location missing" : L"location added";
    }
    if (baseline.file_present != other.file_present) {
        return baseline.file_present ? L"file missing" : L"file added";
    }
    if (!baseline.file_present) {
        return {};
    }
    std::wstring change;
    if (baseline.version != other.version) {
        change = L"version " + baseline.version + L" -> " + other.version;
    }
    if (baseline.size != other.size) {
        change += change.empty() ? L"size " : L", size ";
        change += std::to_wstring(baseline.size) + L" -> " + std::to_wstring(other.size);
    }
    if (change.empty() && baseline.hash != other.hash) {
        change = L"content differs at the same version and size: corrupt or altered";
    }
    return change;
}
