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

#include "console_output.h"
#include "error_code_text.h"
#include "fleet_view.h"
#include "input_files.h"
#include "inventory_reader.h"
#include "row_names.h"
#include "manifest_rows.h"
#include "row_change.h"

namespace {

constexpr int exit_identical = 0;
constexpr int exit_differ = 1;
constexpr int exit_trouble = 2;

constexpr std::wstring_view usage =
    L"usage: pelmar_omni_compare [--csv] BASELINE INVENTORY [INVENTORY...]\n"
    L"       pelmar_omni_compare --help\n";

constexpr std::wstring_view help =
    L"Compares inventories that pelmar_omni_info.exe saved with a baseline inventory\n"
    L"of the installation as released: is this the installation we shipped, and\n"
    L"where does it differ?\n"
    L"\n"
    L"  BASELINE   the baseline inventory, e.g. baseline.txt\n"
    L"  INVENTORY  an inventory, or a wildcard pattern such as reports\\*.txt; a\n"
    L"             pattern that also matches the baseline leaves it out\n"
    L"  --csv      write CSV instead of text: UTF-8 with a byte order mark, one\n"
    L"             record per differing row, per identical inventory and per\n"
    L"             inventory that could not be used\n"
    L"  --help, /? show this text\n"
    L"  --         end of the options, for an inventory whose name starts with -\n"
    L"\n"
    L"Rows are matched by file and location, never by the folder's text, so a\n"
    L"baseline from one machine fits any other. A differing row says the first of\n"
    L"these that applies:\n"
    L"  location missing, location added  the folder exists on one machine only\n"
    L"  file missing, file added          the file exists on one machine only\n"
    L"  version OLD -> NEW, size OLD -> NEW\n"
    L"                                    OLD is the baseline's\n"
    L"  content differs at the same version and size: corrupt or altered\n"
    L"                                    the released version and size, other\n"
    L"                                    bytes: replace the file from the release\n"
    L"\n"
    L"Inventories are read as cmd's >, PowerShell's > and Out-File save them: UTF-8\n"
    L"with or without a byte order mark, or UTF-16LE with one; CR LF or LF line ends;\n"
    L"title lines before the table are skipped.\n"
    L"\n"
    L"Exit codes: 0 every inventory is identical to the baseline; 1 at least one\n"
    L"differs; 2 at least one could not be used or was incomplete (2 wins over 1),\n"
    L"the baseline could not be used, nothing was left to compare, or the command\n"
    L"line was wrong.\n";

constexpr std::wstring_view csv_header =
    L"inventory,file,location,change,baseline_version,version,baseline_size,size,"
    L"baseline_sha1,sha1,detail";

// One field of a CSV record, quoted where RFC 4180 asks for it.
void write_csv_field(std::wostream& out, std::wstring_view field) {
    if (field.find_first_of(L",\"\r\n") == std::wstring_view::npos) {
        out << field;
        return;
    }
    out << L'"';
    for (const wchar_t character : field) {
        out << character;
        if (character == L'"') {
            out << L'"';
        }
    }
    out << L'"';
}

class comparison {
public:
    comparison(std::wostream& out, std::wostream& error, bool csv)
        : out_(out), error_(error), csv_(csv) {}

    int run(const std::vector<std::wstring>& arguments);

private:
    bool read_baseline(const std::wstring& argument);
    void compare_file(const std::wstring& name);
    void compare_inventory(const std::wstring& name);
    // One inventory that could not be used, or not wholly.
    void unusable(const std::wstring& name, const std::wstring& problem);
    void complain(std::wstring_view name, std::wstring_view problem);
    void csv_record(std::wstring_view name, std::size_t row, row_change change,
                    std::wstring_view detail);
    void print_summary();

    std::wostream& out_;
    std::wostream& error_;
    const bool csv_;
    std::string bytes_;
    std::vector<std::wstring> names_;
    inventory baseline_;
    inventory current_;
    std::vector<std::pair<std::size_t, row_change>> changes_;
    // Every file read, by identity, with the name it was first read by.
    std::map<file_identity, std::wstring> seen_;
    fleet_view fleet_;
    std::uint64_t identical_ = 0;
    std::uint64_t differing_ = 0;
    std::uint64_t unusable_ = 0;
};

int comparison::run(const std::vector<std::wstring>& arguments) {
    if (csv_) {
        // The byte order mark tells Excel that the text is UTF-8.
        out_ << L'\uFEFF' << csv_header << L'\n';
    }
    if (!read_baseline(arguments.front())) {
        return exit_trouble;
    }
    for (std::size_t index = 1; index < arguments.size() && out_; ++index) {
        if (const std::wstring problem = files_named(arguments[index], names_); !problem.empty()) {
            unusable(arguments[index], problem);
        }
        for (std::size_t name = 0; name < names_.size() && out_; ++name) {
            compare_file(names_[name]);
        }
    }
    if (identical_ + differing_ + unusable_ > 1 && !csv_) {
        print_summary();
    }
    out_.flush();
    if (!out_) {
        error_ << L"Failed to write the comparison to standard output. "
               << error_code_text(write_error_code(out_)) << L'\n';
        return exit_trouble;
    }
    if (identical_ + differing_ + unusable_ == 0) {
        error_ << L"Nothing to compare: every inventory named is the baseline itself.\n";
        return exit_trouble;
    }
    return unusable_ > 0 ? exit_trouble : differing_ > 0 ? exit_differ : exit_identical;
}

bool comparison::read_baseline(const std::wstring& argument) {
    if (const std::wstring problem = files_named(argument, names_); !problem.empty()) {
        complain(argument, problem);
        return false;
    }
    if (names_.size() != 1) {
        complain(argument, std::to_wstring(names_.size()) +
                               L" files match; the baseline must be one file");
        return false;
    }
    const std::wstring& name = names_.front();
    file_identity identity;
    if (const std::wstring problem = read_whole_file(name, identity, bytes_); !problem.empty()) {
        complain(name, problem);
        return false;
    }
    seen_.emplace(identity, name);
    read_inventory(bytes_, baseline_);
    if (baseline_.result != inventory::outcome::complete) {
        complain(name, baseline_.problem);
        return false;
    }
    return true;
}

void comparison::compare_file(const std::wstring& name) {
    file_identity identity;
    if (const std::wstring problem = read_whole_file(name, identity, bytes_); !problem.empty()) {
        return unusable(name, problem);
    }
    if (const auto [earlier, first] = seen_.emplace(identity, name); !first) {
        return complain(name, L"the same file as " + earlier->second + L"; skipped");
    }
    read_inventory(bytes_, current_);
    if (current_.result != inventory::outcome::complete) {
        unusable(name, current_.problem);
    }
    // Of an incomplete inventory the rows read are compared all the same.
    if (current_.result != inventory::outcome::unusable && !current_.rows.empty()) {
        compare_inventory(name);
    }
}

void comparison::compare_inventory(const std::wstring& name) {
    changes_.clear();
    for (std::size_t row = 0; row < current_.rows.size(); ++row) {
        if (const row_change change = compare_rows(baseline_.rows[row], current_.rows[row]);
            change != row_change::none) {
            changes_.emplace_back(row, change);
        }
    }
    const bool complete = current_.result == inventory::outcome::complete;
    if (complete) {
        ++(changes_.empty() ? identical_ : differing_);
    }
    if (csv_) {
        if (complete && changes_.empty()) {
            csv_record(name, 0, row_change::none, {});
        }
        for (const auto& [row, change] : changes_) {
            csv_record(name, row, change, {});
        }
        return;
    }
    if (complete && changes_.empty()) {
        out_ << name << L": identical\n";
        return;
    }
    out_ << name << L": " << changes_.size() << L" of " << current_.rows.size()
         << L" rows differ\n";
    for (const auto& [row, change] : changes_) {
        const std::wstring text = change_text(change, baseline_.rows[row], current_.rows[row]);
        print_row_names(out_ << L"  ", row) << text << L'\n';
        fleet_.add_difference(row, text, name);
    }
}

void comparison::unusable(const std::wstring& name, const std::wstring& problem) {
    ++unusable_;
    complain(name, problem);
    if (csv_) {
        csv_record(name, 0, row_change::none, problem);
    } else {
        fleet_.add_unusable(problem, name);
    }
}

void comparison::complain(std::wstring_view name, std::wstring_view problem) {
    // Standard output first, so that a console shows both in the order of the inputs.
    out_.flush();
    error_ << name << L": " << problem << L'\n';
    error_.flush();
}

void comparison::csv_record(std::wstring_view name, std::size_t row, row_change change,
                            std::wstring_view detail) {
    // Without a change, the record is the inventory's only one: identical,
    // or unusable with the reason as its detail.
    std::wstring_view fields[11] = {name};
    std::wstring sizes[2];
    if (change == row_change::none) {
        fields[3] = detail.empty() ? L"identical" : L"unusable";
        fields[10] = detail;
    } else {
        const manifest_row& names = manifest_rows()[row];
        fields[1] = names.entry->file_name;
        fields[2] = location_name(names.location);
        fields[3] = change_name(change);
        const inventory_row* sides[] = {&baseline_.rows[row], &current_.rows[row]};
        for (std::size_t side = 0; side < 2; ++side) {
            if (sides[side]->file_present) {
                sizes[side] = std::to_wstring(sides[side]->size);
                fields[4 + side] = sides[side]->version;
                fields[6 + side] = sizes[side];
                fields[8 + side] = sides[side]->hash;
            }
        }
    }
    for (std::size_t field = 0; field < std::size(fields); ++field) {
        if (field > 0) {
            out_ << L',';
        }
        write_csv_field(out_, fields[field]);
    }
    // The console output turns the line feed into CR LF, as RFC 4180 has it.
    out_ << L'\n';
}

void comparison::print_summary() {
    out_ << L'\n' << identical_ + differing_ + unusable_ << L" inventories: " << identical_
         << L" identical, " << differing_ << L" differ, " << unusable_ << L" could not be used\n";
    fleet_.print(out_);
}

}  // namespace

int run_compare(std::span<const wchar_t* const> arguments, std::wostream& out,
                std::wostream& error) {
    bool csv = false;
    bool options = true;
    std::vector<std::wstring> names;
    for (const std::wstring_view argument : arguments) {
        if (options && (argument == L"--help" || argument == L"/?")) {
            out << usage << L'\n' << help;
            out.flush();
            return out ? exit_identical : exit_trouble;
        }
        if (options && argument == L"--") {
            options = false;
        } else if (options && argument == L"--csv") {
            csv = true;
        } else if (options && argument.starts_with(L'-')) {
            error << L"unknown option " << argument << L'\n' << usage;
            return exit_trouble;
        } else {
            names.emplace_back(argument);
        }
    }
    if (names.size() < 2) {
        error << usage;
        return exit_trouble;
    }
    try {
        comparison run(out, error, csv);
        return run.run(names);
    } catch (const std::exception&) {
        error << L"An unexpected C++ standard library exception occurred.\n";
        return exit_trouble;
    }
}
