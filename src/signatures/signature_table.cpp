#include "signature_table.h"

#include <algorithm>
#include <iomanip>
#include <numeric>

#include "csv_record.h"
#include "error_code_text.h"
#include "table_layout.h"

namespace pelmar::signatures {

using namespace signature_layout;

namespace {

const std::wstring& or_placeholder(const std::wstring& text) {
    static const std::wstring placeholder = L"--";
    return text.empty() ? placeholder : text;
}

}  // namespace

std::wstring detail_text(const file_verdict& verdict) {
    std::wstring text;
    for (const reason& part : verdict.reasons) {
        text += (text.empty() ? L"" : L"; ") + part.words;
        if (part.code) {
            text += L". " + error_code_text(*part.code);
        }
    }
    return text;
}

std::wostream& print_signature_header(std::wostream& out) {
    out << std::left << std::setw(status_width) << L"STATUS" << table_layout::separator;
    out << std::setw(signer_width) << L"SIGNER" << table_layout::separator;
    out << std::setw(table_layout::file_name_width) << L"FILENAME" << table_layout::separator;
    out << std::setw(detail_width) << L"DETAIL" << table_layout::separator;
    return out << L"DIRECTORY";
}

std::wostream& print_signature_row(std::wostream& out, const file_verdict& verdict,
                                   const std::wstring& file_name, const std::wstring& directory) {
    out << std::left << std::setw(status_width) << status_text(verdict.status)
        << table_layout::separator;
    out << std::setw(signer_width) << or_placeholder(verdict.signer) << table_layout::separator;
    out << std::setw(table_layout::file_name_width) << file_name << table_layout::separator;
    out << std::setw(detail_width) << or_placeholder(detail_text(verdict))
        << table_layout::separator;
    return out << directory;
}

void print_signature_csv_header(std::wostream& out) {
    out << L'\uFEFF' << L"status,signer,file,detail,folder,kind\n";
}

void print_signature_csv_row(std::wostream& out, const file_verdict& verdict,
                             const std::wstring& file, const std::wstring& folder,
                             std::wstring_view kind) {
    write_csv_record(out, {status_text(verdict.status), verdict.signer, file, detail_text(verdict),
                           folder, kind});
}

std::wstring status_tally::summary() const {
    const std::uint64_t files = total();
    return std::to_wstring(files) + (files == 1 ? L" file" : L" files") +
           (files == 0 ? L": no file of the driver was found" : counts_text());
}

std::uint64_t status_tally::total() const {
    return std::accumulate(counts_.begin(), counts_.end(), std::uint64_t{0});
}

std::wstring status_tally::counts_text() const {
    std::array<std::size_t, signature_status_count> order{};
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
        return counts_[left] > counts_[right];
    });
    std::wstring text;
    const wchar_t* separator = L": ";
    for (const std::size_t status : order) {
        if (counts_[status] > 0) {
            text += separator + std::to_wstring(counts_[status]) + L' ' +
                    std::wstring(status_text(static_cast<signature_status>(status)));
            separator = L", ";
        }
    }
    return text;
}

int status_tally::exit_code() const {
    const auto count = [&](signature_status status) {
        return counts_[static_cast<std::size_t>(status)];
    };
    if (count(signature_status::unreadable) > 0 || count(signature_status::unchecked) > 0) {
        return 2;
    }
    const std::uint64_t vouched =
        count(signature_status::embedded_signature) + count(signature_status::catalog);
    return total() > 0 && vouched == total() ? 0 : 1;
}

}  // namespace pelmar::signatures
