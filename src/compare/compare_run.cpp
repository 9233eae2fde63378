#include "compare_run.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <iomanip>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

#include "console_output.h"
#include "difference_layout.h"
#include "error_code_text.h"
#include "file_key.h"
#include "fleet_tally.h"
#include "inventory_reader.h"
#include "inventory_row.h"
#include "location_name.h"
#include "manifest_rows.h"
#include "row_change.h"
#include "unique_file_handle.h"
#include "wildcard_expansion.h"

namespace {

constexpr int exit_identical = 0;
constexpr int exit_differ = 1;
constexpr int exit_trouble = 2;

class comparison {
public:
    comparison(std::wostream& out, std::wostream& error) : out_(out), error_(error) {}

    int run(std::span<const wchar_t* const> arguments);

private:
    // What a file is named as: the baseline, an inventory of an argument
    // before the last one, or an inventory of the last argument.
    enum class use { baseline, inventory, last_inventory };

    bool read_baseline(const std::wstring& argument);
    // Compares the files an argument names; false once standard output failed.
    bool compare_argument(const std::wstring& argument, use as);
    void compare_file(const std::wstring& name, use as);
    // Reads one file that was not named before; false, after saying why,
    // when there is nothing of it to compare.
    bool read_file(const std::wstring& name, use as, std::vector<inventory_row>& rows,
                   inventory_reading& reading);
    void compare_rows(const std::wstring& name, const inventory_reading& reading);
    void report(std::wstring_view name, std::wstring_view problem);
    void print_summary();

    std::wostream& out_;
    std::wostream& error_;
    inventory_reader reader_;
    matching_files matches_;
    std::vector<inventory_row> baseline_;
    std::vector<inventory_row> rows_;
    std::vector<std::pair<std::size_t, std::wstring>> changes_;
    fleet_tally tally_;
    // The full path of each file before the last argument's, so that a file
    // named twice is compared once. The last argument's files need no entry:
    // one pattern's matches are distinct files, and a fleet's one folder
    // pattern thus leaves this as small as the baseline.
    std::map<std::wstring, std::wstring, ignoring_case_less> seen_;
    std::uint64_t identical_ = 0;
    std::uint64_t differing_ = 0;
    std::uint64_t unusable_ = 0;
};

int comparison::run(std::span<const wchar_t* const> arguments) {
    if (!read_baseline(arguments.front())) {
        return exit_trouble;
    }
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const use as = index + 1 == arguments.size() ? use::last_inventory : use::inventory;
        if (!compare_argument(arguments[index], as)) {
            break;
        }
    }
    if (identical_ + differing_ + unusable_ > 1) {
        print_summary();
    }
    out_.flush();
    if (!out_) {
        error_ << L"Failed to write the comparison to standard output. "
               << error_code_text(write_error_code(out_)) << L'\n';
        return exit_trouble;
    }
    return unusable_ > 0 ? exit_trouble : differing_ > 0 ? exit_differ : exit_identical;
}

bool comparison::read_baseline(const std::wstring& argument) {
    std::wstring name = argument;
    if (has_wildcards(argument)) {
        if (const std::uint32_t code = matches_.find(argument); code != 0) {
            report(argument, cannot_be_read(code));
            return false;
        }
        if (matches_.size() != 1) {
            report(argument, matches_.size() == 0
                                 ? L"no file matches"
                                 : std::to_wstring(matches_.size()) +
                                       L" files match; the baseline must be one file");
            return false;
        }
        name = std::wstring(folder_part(argument)) + std::wstring(matches_.name(0));
    }
    inventory_reading reading{};
    if (!read_file(name, use::baseline, baseline_, reading)) {
        return false;
    }
    if (reading.result != inventory_reading::outcome::complete) {
        report(name, reading.problem);
        return false;
    }
    return true;
}

bool comparison::compare_argument(const std::wstring& argument, use as) {
    if (!has_wildcards(argument)) {
        compare_file(argument, as);
        return static_cast<bool>(out_);
    }
    if (const std::uint32_t code = matches_.find(argument); code != 0 || matches_.size() == 0) {
        report(argument, code != 0 ? cannot_be_read(code) : L"no file matches");
        ++unusable_;
        return true;
    }
    std::wstring name(folder_part(argument));
    const std::size_t folder_length = name.size();
    for (std::size_t index = 0; index < matches_.size(); ++index) {
        name.resize(folder_length);
        name += matches_.name(index);
        compare_file(name, as);
        if (!out_) {
            return false;
        }
    }
    return true;
}

void comparison::compare_file(const std::wstring& name, use as) {
    inventory_reading reading{};
    if (!read_file(name, as, rows_, reading)) {
        return;
    }
    switch (reading.result) {
        case inventory_reading::outcome::unusable:
            report(name, reading.problem);
            ++unusable_;
            return;
        case inventory_reading::outcome::incomplete:
            report(name, reading.problem);
            ++unusable_;
            break;
        case inventory_reading::outcome::complete:
            break;
    }
    compare_rows(name, reading);
}

bool comparison::read_file(const std::wstring& name, use as, std::vector<inventory_row>& rows,
                           inventory_reading& reading) {
    std::wstring path = full_path(name);
    if (path.empty()) {
        report(name, cannot_be_read(GetLastError()));
        unusable_ += as == use::baseline ? 0 : 1;
        return false;
    }
    if (const auto earlier = seen_.find(path); earlier != seen_.end()) {
        report(name, L"the same file as " + earlier->second + L"; skipped");
        return false;
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report(name, cannot_be_read(GetLastError()));
        unusable_ += as == use::baseline ? 0 : 1;
        return false;
    }
    const unique_file_handle owner(file);
    if (as != use::last_inventory) {
        seen_.emplace(std::move(path), name);
    }
    reading = reader_.read(file, rows);
    return true;
}

void comparison::compare_rows(const std::wstring& name, const inventory_reading& reading) {
    changes_.clear();
    for (std::size_t row = 0; row < reading.rows; ++row) {
        std::wstring change = row_change(baseline_[row], rows_[row]);
        if (!change.empty()) {
            changes_.emplace_back(row, std::move(change));
            tally_.count_difference(row);
        }
    }
    if (reading.result == inventory_reading::outcome::complete) {
        ++(changes_.empty() ? identical_ : differing_);
        if (changes_.empty()) {
            out_ << name << L": identical\n";
            return;
        }
    }
    out_ << name << L": " << changes_.size() << L" of " << reading.rows << L" rows differ\n";
    const auto file_width = static_cast<std::streamsize>(file_column_width());
    const auto location_width = static_cast<std::streamsize>(location_column_width());
    for (const auto& [row, change] : changes_) {
        const manifest_row& names = manifest_rows()[row];
        out_ << L"  " << std::left << std::setw(file_width) << names.entry->file_name
             << std::setw(location_width) << location_name(names.location) << change << L'\n';
    }
}

void comparison::report(std::wstring_view name, std::wstring_view problem) {
    // Standard output first, so that a console shows both in the order of the inputs.
    out_.flush();
    error_ << name << L": " << problem << L'\n';
    error_.flush();
}

void comparison::print_summary() {
    out_ << L'\n' << identical_ + differing_ + unusable_ << L" inventories: " << identical_
         << L" identical, " << differing_ << L" differ, " << unusable_ << L" could not be used\n";
    tally_.print(out_);
}

}  // namespace

int run_compare(std::span<const wchar_t* const> arguments, std::wostream& out,
                std::wostream& error) {
    if (arguments.size() < 2) {
        error << L"usage: pelmar_omni_compare BASELINE INVENTORY [INVENTORY...]\n";
        return exit_trouble;
    }
    try {
        comparison run(out, error);
        return run.run(arguments);
    } catch (const std::exception&) {
        error << L"An unexpected C++ standard library exception occurred.\n";
        return exit_trouble;
    }
}
