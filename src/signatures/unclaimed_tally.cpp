#include "unclaimed_tally.h"

namespace pelmar::signatures {

namespace {

// A row of a file whose signature could not be judged at all.
bool is_unchecked(signature_status status) {
    return status == signature_status::unreadable || status == signature_status::unchecked;
}

}  // namespace

void unclaimed_tally::count(signature_status status, bool alarming) {
    statuses_.count(status);
    unchecked_ += is_unchecked(status) ? 1 : 0;
    alarming_ += alarming ? 1 : 0;
}

void unclaimed_tally::count_claimed_row(signature_status status) {
    ++claimed_;
    claimed_rows_.count(status);
    unchecked_ += is_unchecked(status) ? 1 : 0;
    alarming_ += is_unchecked(status) ? 0 : 1;
}

void unclaimed_tally::count_registered_row(signature_status status) {
    ++registered_;
    registered_rows_.count(status);
    unchecked_ += is_unchecked(status) ? 1 : 0;
    alarming_ += is_unchecked(status) || status == signature_status::missing ? 0 : 1;
}

std::wstring unclaimed_tally::summary() const {
    const auto with_rows = [](const status_tally& rows) {
        return rows.total() == 0 ? std::wstring()
                                 : L", " + std::to_wstring(rows.total()) + L" with a row" +
                                       rows.counts_text();
    };
    return std::to_wstring(statuses_.total()) + L" unclaimed" + statuses_.counts_text() + L"; " +
           std::to_wstring(claimed_) + L" claimed" + with_rows(claimed_rows_) + L"; " +
           std::to_wstring(registered_) + L" registered" + with_rows(registered_rows_) + L"; " +
           std::to_wstring(settings_) +
           (settings_ == 1 ? L" exposed setting" : L" exposed settings");
}

int unclaimed_tally::exit_code() const {
    return unchecked_ > 0 ? 2 : alarming_ > 0 ? 1 : 0;
}

}  // namespace pelmar::signatures
