#include "compare_run.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console_output.h"
#include "csv_field.h"
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

class comparison {
public:
    comparison(std::wostream& out, std::wostream& error, bool csv)
        : out_(out), error_(error), csv_(csv) {}

    int run(const std::vector<std::wstring>& arguments);

private:
    // Reads a file not read before into `into`; false, after saying why
    // where that is not plain, when there is nothing in it to compare.
    bool read(const named_file& file, inventory& into);
    void compare(const named_file& file);
    // An inventory that could not be used, or not wholly.
    void unusable(const std::wstring& name, const std::wstring& problem);
    void complain(std::wstring_view name, std::wstring_view problem);
    void csv_record(std::wstring_view name, std::wstring_view change, std::size_t row = 0,
                    std::wstring_view detail = {});

    std::wostream& out_;
    std::wostream& error_;
    const bool csv_;
    std::string bytes_;
    std::vector<named_file> files_;
    inventory baseline_;
    inventory current_;
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
    std::wstring problem = files_named(arguments.front(), files_);
    if (problem.empty() && files_.size() > 1) {
        problem = std::to_wstring(files_.size()) + L" files match; the baseline must be one file";
    }
    if (!problem.empty()) {
        complain(arguments.front(), problem);
        return exit_trouble;
    }
    if (!read(files_.front(), baseline_) ||
        baseline_.result != inventory::outcome::complete) {
        if (!baseline_.problem.empty()) {
            complain(files_.front().name, baseline_.problem);
        }
        return exit_trouble;
    }
    for (std::size_t index = 1; index < arguments.size() && out_; ++index) {
        if (problem = files_named(arguments[index], files_); !problem.empty()) {
            unusable(arguments[index], problem);
        }
        for (std::size_t file = 0; file < files_.size() && out_; ++file) {
            compare(files_[file]);
        }
    }
    const std::uint64_t inventories = identical_ + differing_ + unusable_;
    if (inventories > 1 && !csv_) {
        out_ << L'\n' << inventories << L" inventories: " << identical_ << L" identical, "
             << differing_ << L" differ, " << unusable_ << L" could not be used\n";
        fleet_.print(out_);
    }
    if (const std::uint32_t error_code = flush_all(out_)) {
        error_ << L"Failed to write the comparison to standard output. "
               << error_code_text(error_code) << L'\n';
        return exit_trouble;
    }
    if (inventories == 0) {
        error_ << L"Nothing to compare: every inventory named is the baseline itself.\n";
        return exit_trouble;
    }
    return unusable_ > 0 ? exit_trouble : differing_ > 0 ? exit_differ : exit_identical;
}

bool comparison::read(const named_file& file, inventory& into) {
    file_identity identity;
    into.result = inventory::outcome::unusable;
    into.problem = read_inventory_file(file, identity, bytes_);
    if (!into.problem.empty()) {
        return false;
    }
    if (const auto [earlier, first] = seen_.emplace(identity, file.name); !first) {
        complain(file.name, L"the same file as " + earlier->second + L"; skipped");
        return false;
    }
    read_inventory(bytes_, into);
    return true;
}

void comparison::compare(const named_file& file) {
    const std::wstring& name = file.name;
    if (!read(file, current_) || current_.result != inventory::outcome::complete) {
        if (!current_.problem.empty()) {
            unusable(name, current_.problem);
        }
        // Of an incomplete inventory the rows read are compared all the same.
        if (current_.result != inventory::outcome::incomplete || current_.rows.empty()) {
            return;
        }
    }
    std::size_t differ = 0;
    for (std::size_t row = 0; row < current_.rows.size(); ++row) {
        differ += compare_rows(baseline_.rows[row], current_.rows[row]) != row_change::none;
    }
    const bool complete = current_.result == inventory::outcome::complete;
    if (complete) {
        ++(differ == 0 ? identical_ : differing_);
    }
    if (complete && differ == 0) {
        return csv_ ? csv_record(name, L"identical") : void(out_ << name << L": identical\n");
    }
    if (!csv_) {
        out_ << name << L": " << differ << L" of " << current_.rows.size() << L" rows differ\n";
    }
    for (std::size_t row = 0; row < current_.rows.size(); ++row) {
        const inventory_row& baseline = baseline_.rows[row];
        const inventory_row& other = current_.rows[row];
        if (const row_change change = compare_rows(baseline, other); change == row_change::none) {
            continue;
        } else if (csv_) {
            csv_record(name, change_name(change), row);
        } else {
            const std::wstring line = row_names(row) + change_text(change, baseline, other);
            out_ << L"  " << line << L'\n';
            fleet_.add(fleet_view::difference, line, name);
        }
    }
}

void comparison::unusable(const std::wstring& name, const std::wstring& problem) {
    ++unusable_;
    complain(name, problem);
    fleet_.add(fleet_view::unusable, problem, name);
    if (csv_) {
        csv_record(name, L"unusable", 0, problem);
    }
}

void comparison::complain(std::wstring_view name, std::wstring_view problem) {
    // Standard output first, so that a console shows both in the order of the inputs.
    out_.flush();
    error_ << name << L": " << problem << L'\n';
    error_.flush();
}

void comparison::csv_record(std::wstring_view name, std::wstring_view change, std::size_t row,
                            std::wstring_view detail) {
    // A record about a row has the row's names and each side's values where
    // its file is present; one about a whole inventory has none of them.
    const bool about_row = change != L"identical" && change != L"unusable";
    write_csv_field(out_, name);
    out_ << L',';
    if (about_row) {
        const manifest_row& names = manifest_rows()[row];
        write_csv_field(out_, names.entry->file_name);
        out_ << L',';
        write_csv_field(out_, location_name(names.location));
    } else {
        out_ << L',';
    }
    out_ << L',' << change;
    const auto values = [&](auto value) {
        for (const inventory* side : {&baseline_, &current_}) {
            out_ << L',';
            if (about_row && side->rows[row].file_present) {
                out_ << value(side->rows[row]);
            }
        }
    };
    values([](const inventory_row& side) { return side.version; });
    values([](const inventory_row& side) { return side.size; });
    values([](const inventory_row& side) { return side.hash; });
    out_ << L',';
    write_csv_field(out_, detail);
    // The console output turns the line feed into CR LF, as RFC 4180 has it.
    out_ << L'\n';
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
            return flush_all(out) == 0 ? exit_identical : exit_trouble;
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
