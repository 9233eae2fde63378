#include "compare_run.h"

#include <exception>
#include <map>

#include "comparison_output.h"
#include "console_output.h"
#include "error_code_text.h"
#include "failure_line.h"
#include "file.h"
#include "named_files.h"
#include "print_error.h"
#include "whole_file.h"

namespace pelmar::compare {

namespace {

constexpr int exit_identical = 0, exit_differ = 1, exit_trouble = 2;

constexpr std::wstring_view usage =
    L"usage: pelmar_omni_compare [--csv | --json] BASELINE INVENTORY [INVENTORY...]\n"
    L"       pelmar_omni_compare --help\n";

constexpr std::wstring_view help =
    L"Compares inventories that pelmar_omni_info.exe saved with a baseline inventory\n"
    L"of the installation as released: is this the installation we shipped, and\n"
    L"where does it differ?\n"
    L"\n"
    L"  BASELINE   the baseline inventory, e.g. baseline.txt\n"
    L"  INVENTORY  an inventory as cmd or PowerShell saved it, or a wildcard pattern\n"
    L"             such as reports\\*.txt, which leaves the baseline out\n"
    L"  --csv      write CSV instead: UTF-8 with a byte order mark, one record per\n"
    L"             differing row, identical inventory and unusable inventory\n"
    L"  --json     write JSON Lines instead: UTF-8, one object per line with the\n"
    L"             CSV's fields, then one with the counts and the exit code\n"
    L"  --help, /? show this text\n"
    L"  --         end of the options, for an inventory whose name starts with -\n"
    L"\n"
    L"Rows are matched by file and location, never by folder. A differing row says\n"
    L"the first that applies: location missing or added; file missing or added;\n"
    L"version OLD -> NEW and/or size OLD -> NEW (OLD is the baseline's); content\n"
    L"differs at the same version and size: corrupt or altered (replace the file).\n"
    L"\n"
    L"Exit codes: 0 every inventory is identical to the baseline; 1 at least one\n"
    L"differs; 2 at least one could not be used or was incomplete (2 wins over 1),\n"
    L"the baseline could not be used, nothing was left to compare, or the command\n"
    L"line was wrong.\n";

row_change compare_rows(const inventory_row& baseline, const inventory_row& other) {
    if (baseline.location_exists != other.location_exists) {
        return baseline.location_exists ? row_change::location_missing : row_change::location_added;
    }
    if (baseline.file_present != other.file_present) {
        return baseline.file_present ? row_change::file_missing : row_change::file_added;
    }
    if (!baseline.file_present) {
        return row_change::same;
    }
    if (baseline.version != other.version || baseline.size != other.size) {
        return row_change::version_or_size;
    }
    return baseline.hash != other.hash ? row_change::content : row_change::same;
}

class comparison {
public:
    comparison(comparison_output& output, std::wostream& out, std::wostream& error)
        : output_(output), out_(out), error_(error) {}

    // Compares the inventories that `names` give with the baseline that the
    // first gives; the exit code.
    int run(const std::vector<std::wstring>& names) {
        std::wstring problem = files_named(names.front(), files_);
        if (problem.empty() && files_.size() > 1) {
            problem = std::to_wstring(files_.size()) +
                      L" files match; the baseline must be one file";
        }
        if (!problem.empty()) {
            complain(names.front(), problem);
            return exit_trouble;
        }
        if (!read(files_.front(), baseline_) || !baseline_.problem.empty()) {
            return exit_trouble;
        }
        for (std::size_t index = 1; index < names.size() && out_; ++index) {
            if (problem = files_named(names[index], files_); !problem.empty()) {
                complain(names[index], problem);
                unusable(names[index], problem);
            }
            for (std::size_t file = 0; file < files_.size() && out_; ++file) {
                compare(files_[file]);
            }
        }
        const bool nothing_compared = identical_ + differing_ + unusable_ == 0;
        const int exit_code = nothing_compared || unusable_ > 0 ? exit_trouble
                              : differing_ > 0                 ? exit_differ
                                                               : exit_identical;
        output_.summary(identical_, differing_, unusable_, exit_code);
        flush_all_or_throw(out_);
        if (nothing_compared) {
            error_ << L"Nothing to compare: every inventory named is the baseline itself.\n";
        }
        return exit_code;
    }

private:
    // Reads a file not read before into `into`, and says why where it is
    // not complete; false when it was, under another name.
    bool read(const named_file& file, inventory& into) {
        into.rows.clear();
        into.problem.clear();
        const win::result<unique_file_handle> opened = win::open_to_read(file.name);
        win::status failure = opened ? win::status() : win::status(opened.error());
        if (opened) {
            const HANDLE handle = opened.value().get();
            // Before the read, so that a file named again is never read again. A
            // file whose identity is not certain is compared, however often named.
            if (const std::optional<file_identity> identity =
                    file.identity ? file.identity : certain_identity(handle)) {
                if (const auto [earlier, first] = seen_.emplace(*identity, file.name); !first) {
                    complain(file.name, L"the same file as " + earlier->second + L"; skipped");
                    return false;
                }
            }
            failure = win::read_whole_file(handle, max_inventory_bytes, bytes_);
        }
        if (!failure) {
            read_inventory(bytes_, into);
        } else {
            into.problem = failure->code == ERROR_FILE_TOO_LARGE
                               ? L"too large to be an inventory"
                               : L"cannot be read. " + error_code_text(failure->code);
        }
        if (!into.problem.empty()) {
            complain(file.name, into.problem);
        }
        return true;
    }

    void compare(const named_file& file) {
        if (read(file, current_) && !current_.problem.empty()) {
            unusable(file.name, current_.problem);
        }
        // Of an incomplete inventory the rows read are compared all the same.
        row_changes changes;
        for (std::size_t row = 0; row < current_.rows.size(); ++row) {
            const row_change change = compare_rows(baseline_.rows[row], current_.rows[row]);
            if (change != row_change::same) {
                changes.emplace_back(row, change);
            }
        }
        if (current_.rows.empty()) {
            return;
        }
        if (current_.problem.empty()) {
            ++(changes.empty() ? identical_ : differing_);
        }
        output_.compared(file.name, baseline_, current_, changes);
    }

    // An inventory that could not be used, or not wholly, once complained of.
    void unusable(const std::wstring& name, const std::wstring& problem) {
        ++unusable_;
        output_.unusable(name, problem);
    }

    void complain(std::wstring_view name, std::wstring_view problem) {
        // Standard output first, so that a console shows both in the order of the inputs.
        out_.flush();
        error_ << name << L": " << problem << L'\n';
        error_.flush();
    }

    comparison_output& output_;
    std::wostream& out_;
    std::wostream& error_;
    std::string bytes_;
    std::vector<named_file> files_;
    inventory baseline_;
    inventory current_;
    // Every file opened whose identity is certain, by the name it was first
    // opened by.
    std::map<file_identity, std::wstring> seen_;
    std::uint64_t identical_ = 0;
    std::uint64_t differing_ = 0;
    std::uint64_t unusable_ = 0;
};

}  // namespace

int run_compare(std::span<const wchar_t* const> arguments, std::wostream& out,
                std::wostream& error) {
    enum class format { text, csv, json } chosen = format::text;
    std::vector<std::wstring> names;
    for (auto next = arguments.begin(); next != arguments.end(); ++next) {
        const std::wstring_view argument = *next;
        if (argument == L"--help" || argument == L"/?") {
            out << usage << L'\n' << help;
            return flush_all(out) == 0 ? exit_identical : exit_trouble;
        }
        if (argument == L"--") {
            names.insert(names.end(), next + 1, arguments.end());
            break;
        }
        if (argument == L"--csv" || argument == L"--json") {
            const format asked = argument == L"--csv" ? format::csv : format::json;
            if (chosen != format::text && chosen != asked) {
                error << L"--csv and --json exclude each other\n" << usage;
                return exit_trouble;
            }
            chosen = asked;
        } else if (argument.starts_with(L'-')) {
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
        const std::unique_ptr<comparison_output> output = chosen == format::csv ? csv_output(out)
                                                          : chosen == format::json
                                                              ? json_output(out)
                                                              : text_output(out);
        return comparison(*output, out, error).run(names);
    } catch (const output_exception& failure) {
        print_error(L"Failed to write the comparison to standard output.", failure, error);
        return exit_trouble;
    } catch (const std::exception&) {
        print_failure_line(error);
        return exit_trouble;
    }
}

}  // namespace pelmar::compare
