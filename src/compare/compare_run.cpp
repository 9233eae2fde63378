#include "compare_run.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iomanip>
#include <map>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "console_output.h"
#include "csv_record.h"
#include "error_code_text.h"
#include "failure_line.h"
#include "folder_listing.h"
#include "file_manifest.h"
#include "inventory_reader.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "unique_file_handle.h"
#include "whole_file.h"

namespace {

// Whether `name` matches the wildcard `pattern` (`*` any run of characters,
// `?` one), both as file_name_key gives them, without regard to case.
bool matches_wildcard(std::wstring_view pattern, std::wstring_view name) {
    // As in cmd, a final "." asks for names without an extension.
    if (pattern.ends_with(L'.')) {
        if (name.find(L'.') != std::wstring_view::npos) {
            return false;
        }
        pattern.remove_suffix(1);
    }
    // Greedy, and back to the last star on a mismatch.
    std::size_t next = 0;
    std::size_t star = std::wstring_view::npos;
    std::size_t star_name = 0;
    for (std::size_t at = 0; at < name.size();) {
        if (next < pattern.size() && (pattern[next] == L'?' || pattern[next] == name[at])) {
            ++next;
            ++at;
        } else if (next < pattern.size() && pattern[next] == L'*') {
            star = next++;
            star_name = at;
        } else if (star != std::wstring_view::npos) {
            next = star + 1;
            at = ++star_name;
        } else {
            return false;
        }
    }
    // As in Windows, a name without an extension also matches a final ".*".
    const std::size_t rest = pattern.find_first_not_of(L'*', next);
    return rest == std::wstring_view::npos ||
           (pattern[rest] == L'.' &&
            pattern.find_first_not_of(L'*', rest + 1) == std::wstring_view::npos);
}

// FILE_ID_INFO and its class, which the headers declare for Windows 8 and
// later only; Windows 7 refuses the call.
struct file_id_info {
    ULONGLONG volume_serial;
    ULONGLONG file_id[2];  // lower half, upper half
};
constexpr auto file_id_info_class = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// Which file a handle reads, whatever the path that named it (another
// spelling, an 8.3 name, a subst drive, a share or a link): the volume's
// serial number, then the file id's upper half (0 for a 64-bit index) and
// lower half.
using file_identity = std::array<std::uint64_t, 3>;

// Whether an identity tells one file from every other: some file systems and
// network redirectors give every file an id of 0 or all ones.
bool is_certain(const file_identity& identity) {
    constexpr std::uint64_t ones = ~std::uint64_t{0};
    return (identity[2] != 0 && identity[2] != ones) || (identity[1] != 0 && identity[1] != ones);
}

// The open file's identity where the file system gives one for certain: the
// 128-bit file id (Windows 8 and later), else the 64-bit file index.
std::optional<file_identity> certain_identity(HANDLE file) {
    file_identity identity{};
    file_id_info about{};
    BY_HANDLE_FILE_INFORMATION old{};
    if (GetFileInformationByHandleEx(file, file_id_info_class, &about, sizeof about)) {
        identity = {about.volume_serial, about.file_id[1], about.file_id[0]};
    } else if (GetFileInformationByHandle(file, &old)) {
        identity = {old.dwVolumeSerialNumber, 0,
                    std::uint64_t{old.nFileIndexHigh} << 32 | old.nFileIndexLow};
    }
    return is_certain(identity) ? std::optional(identity) : std::nullopt;
}

// The serial number of the volume that holds `folder`, where a listing's
// file indexes are the file ids that FILE_ID_INFO gives: on every file
// system but ReFS, whose 128-bit ids they do not hold.
std::optional<std::uint64_t> indexed_volume(const std::wstring& folder) {
    const HANDLE opened = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const unique_file_handle owner(opened);
    const std::optional<file_identity> identity = certain_identity(opened);
    wchar_t file_system[MAX_PATH + 1] = L"";
    const bool indexed = identity && GetVolumeInformationByHandleW(opened, nullptr, 0, nullptr,
                                                                  nullptr, nullptr, file_system,
                                                                  MAX_PATH + 1);
    return indexed && std::wstring_view(file_system) != L"ReFS" ? std::optional((*identity)[0])
                                                                 : std::nullopt;
}

struct named_file {
    std::wstring name;
    std::optional<file_identity> identity;  // from the folder's listing, where it tells
};

// The files that an argument names, into `files`: cmd.exe hands wildcards
// to the program unexpanded. The argument itself when its last component
// holds no wildcard; else the files, not folders, whose long names match it,
// each after the argument's folder as typed, in the listing's order. Returns
// why there are none: nothing matches, or the folder could not be listed.
std::wstring files_named(const std::wstring& argument, std::vector<named_file>& files) {
    files.clear();
    // Up to and including the last backslash, slash or drive colon.
    const std::size_t folder_end = argument.find_last_of(L"\\/:") + 1;
    if (argument.find_first_of(L"*?", folder_end) == std::wstring::npos) {
        files.push_back({argument, std::nullopt});
        return {};
    }
    const std::wstring folder = argument.substr(0, folder_end);
    // "C:" is drive C's current folder, as "" is the current folder.
    const std::wstring listed = folder.empty() || folder.back() == L':' ? folder + L"." : folder;
    std::vector<folder_entry> entries;
    if (const std::uint32_t error = list_folder(listed, entries)) {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? L"no file matches"
                   : L"the folder cannot be listed. " + error_code_text(error);
    }
    // The listing's file indexes spare asking each of a fleet's thousands of
    // files for its id (under Wine, a round trip to the mount manager each).
    const std::optional<std::uint64_t> volume = indexed_volume(listed);
    const std::wstring pattern = file_name_key(std::wstring_view(argument).substr(folder_end));
    for (const folder_entry& entry : entries) {
        if (!entry.is_folder() && matches_wildcard(pattern, file_name_key(entry.name))) {
            // A link's own index is not its target's.
            const file_identity identity{volume.value_or(0), 0, entry.file_index};
            const bool known = volume && is_certain(identity) &&
                               (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
            files.push_back({folder + entry.name, known ? std::optional(identity) : std::nullopt});
        }
    }
    return files.empty() ? L"no file matches" : std::wstring();
}

enum exit_code { exit_identical, exit_differ, exit_trouble };

constexpr std::wstring_view usage =
    L"usage: pelmar_omni_compare [--csv] BASELINE INVENTORY [INVENTORY...]\n"
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

constexpr std::wstring_view csv_header =
    L"inventory,file,location,change,baseline_version,version,baseline_size,size,"
    L"baseline_sha1,sha1,detail";

// A support engineer acts on the inventories named and counts the rest.
constexpr std::size_t named_per_group = 10;

// How a row of an inventory differs from the baseline's row of the same file
// and location, the first that applies, by the names CSV records give.
enum row_change {
    none, location_missing, location_added, file_missing, file_added, changed, corrupt };
constexpr std::wstring_view change_names[] = {L"",           L"location missing", L"location added",
                                              L"file missing", L"file added",     L"changed",
                                              L"corrupt or altered"};

row_change compare_rows(const inventory_row& baseline, const inventory_row& other) {
    if (baseline.location_exists != other.location_exists) {
        return baseline.location_exists ? location_missing : location_added;
    }
    if (baseline.file_present != other.file_present) {
        return baseline.file_present ? file_missing : file_added;
    }
    if (!baseline.file_present) {
        return none;
    }
    if (baseline.version != other.version || baseline.size != other.size) {
        return changed;
    }
    return baseline.hash != other.hash ? corrupt : none;
}

class comparison {
public:
    comparison(std::wostream& out, std::wostream& error, bool csv)
        : out_(out), error_(error), csv_(csv) {}

    int run(const std::vector<std::wstring>& arguments) {
        if (csv_) {
            // The byte order mark tells Excel that the text is UTF-8.
            out_ << L'\uFEFF' << csv_header << L'\n';
        }
        std::wstring problem = files_named(arguments.front(), files_);
        if (problem.empty() && files_.size() > 1) {
            problem = std::to_wstring(files_.size()) +
                      L" files match; the baseline must be one file";
        }
        if (!problem.empty()) {
            complain(arguments.front(), problem);
            return exit_trouble;
        }
        if (!read(files_.front(), baseline_) || !baseline_.problem.empty()) {
            return exit_trouble;
        }
        for (std::size_t index = 1; index < arguments.size() && out_; ++index) {
            if (problem = files_named(arguments[index], files_); !problem.empty()) {
                complain(arguments[index], problem);
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
            print_groups();
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

private:
    // What a fleet's inventories have in common: the same change of the same
    // row, or the same reason why an inventory could not be used; each group
    // with how many inventories are in it, and the first ones.
    struct group {
        std::uint64_t count = 0;
        std::vector<std::wstring> inventories;
    };
    enum group_kind { difference, unusable_kind };

    // Reads a file not read before into `into`, and says why where it is
    // not complete; false when it was, under another name.
    bool read(const named_file& file, inventory& into) {
        into.rows.clear();
        into.problem.clear();
        const HANDLE opened =
            CreateFileW(file.name.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        std::uint32_t error = opened == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (error == 0) {
            const unique_file_handle owner(opened);
            // Before the read, so that a file named again is never read again. A
            // file whose identity is not certain is compared, however often named.
            if (const std::optional<file_identity> identity =
                    file.identity ? file.identity : certain_identity(opened)) {
                if (const auto [earlier, first] = seen_.emplace(*identity, file.name); !first) {
                    complain(file.name, L"the same file as " + earlier->second + L"; skipped");
                    return false;
                }
            }
            error = read_whole_file(opened, max_inventory_bytes, bytes_);
        }
        if (error == 0) {
            read_inventory(bytes_, into);
        } else {
            into.problem = error == ERROR_FILE_TOO_LARGE
                               ? L"too large to be an inventory"
                               : L"cannot be read. " + error_code_text(error);
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
        const std::size_t rows = current_.rows.size();
        std::vector<std::pair<std::size_t, row_change>> changes;
        for (std::size_t row = 0; row < rows; ++row) {
            if (const row_change change = compare_rows(baseline_.rows[row], current_.rows[row])) {
                changes.emplace_back(row, change);
            }
        }
        if (rows == 0) {
            return;
        }
        if (current_.problem.empty()) {
            ++(changes.empty() ? identical_ : differing_);
        }
        if (current_.problem.empty() && changes.empty()) {
            return csv_ ? csv_record(file.name, L"identical", {})
                        : void(out_ << file.name << L": identical\n");
        }
        if (!csv_) {
            out_ << file.name << L": " << changes.size() << L" of " << rows << L" rows differ\n";
        }
        for (const auto& [row, change] : changes) {
            report_row(file.name, row, change);
        }
    }

    // A differing row, as a line of text or a CSV record.
    void report_row(const std::wstring& name, std::size_t row, row_change change) {
        const manifest_row& names = manifest_rows()[row];
        const inventory_row& baseline = baseline_.rows[row];
        const inventory_row& other = current_.rows[row];
        if (csv_) {
            // Each side's values where its file is present.
            const auto of = [](const inventory_row& side, std::wstring_view value) {
                return side.file_present ? value : std::wstring_view();
            };
            const std::wstring sizes[] = {std::to_wstring(baseline.size),
                                          std::to_wstring(other.size)};
            return write_csv_record(
                out_, {name, names.entry->file_name, location_name(names.location),
                       change_names[change], of(baseline, baseline.version),
                       of(other, other.version), of(baseline, sizes[0]), of(other, sizes[1]),
                       of(baseline, baseline.hash), of(other, other.hash), {}});
        }
        // The names padded to two characters beyond the longest, so that lines line up.
        static const std::size_t file_width = 2 + std::ranges::max(std::views::transform(
            file_manifest, [](const manifest_entry& file) { return file.file_name.size(); }));
        static const std::size_t location_width = 2 + std::ranges::max(std::views::transform(
            location_names, [](std::wstring_view location) { return location.size(); }));
        std::wstring line = names.entry->file_name;
        line.resize(file_width, L' ');
        line += location_name(names.location);
        line.resize(file_width + location_width, L' ');
        if (change == corrupt) {
            line += L"content differs at the same version and size: corrupt or altered";
        } else if (change != changed) {
            line += change_names[change];
        }
        if (change == changed && baseline.version != other.version) {
            line.append(L"version ").append(baseline.version).append(L" -> ").append(other.version);
        }
        if (change == changed && baseline.size != other.size) {
            line += baseline.version != other.version ? L", size " : L"size ";
            line += std::to_wstring(baseline.size) + L" -> " + std::to_wstring(other.size);
        }
        out_ << L"  " << line << L'\n';
        add_to_group(difference, line, name);
    }

    // An inventory that could not be used, or not wholly, once complained of.
    void unusable(const std::wstring& name, const std::wstring& problem) {
        ++unusable_;
        add_to_group(unusable_kind, problem, name);
        if (csv_) {
            csv_record(name, L"unusable", problem);
        }
    }

    void complain(std::wstring_view name, std::wstring_view problem) {
        // Standard output first, so that a console shows both in the order of the inputs.
        out_.flush();
        error_ << name << L": " << problem << L'\n';
        error_.flush();
    }

    // A CSV record about a whole inventory.
    void csv_record(std::wstring_view name, std::wstring_view change, std::wstring_view detail) {
        write_csv_record(out_, {name, {}, {}, change, {}, {}, {}, {}, {}, {}, detail});
    }

    void add_to_group(group_kind kind, const std::wstring& text, std::wstring_view name) {
        group& to = groups_[kind][text];
        largest_ = std::max(largest_, ++to.count);
        if (to.count <= named_per_group) {
            to.inventories.emplace_back(name);
        }
    }

    // The groups of each kind under a heading, most frequent first, each
    // followed by the names of its first inventories.
    void print_groups() {
        constexpr const wchar_t* headings[] = {
            L"Differences from the baseline, most frequent first:",
            L"Could not be used, most frequent first:"};
        const std::size_t width = std::to_wstring(largest_).size();
        const std::wstring indent(width + 6, L' ');
        for (const group_kind kind : {difference, unusable_kind}) {
            // Equal counts stay in the order of their texts.
            std::multimap<std::uint64_t, const std::pair<const std::wstring, group>*,
                          std::greater<>>
                order;
            for (const auto& entry : groups_[kind]) {
                order.emplace(entry.second.count, &entry);
            }
            out_ << (order.empty() ? L"" : headings[kind]) << (order.empty() ? L"" : L"\n");
            for (const auto& [count, entry] : order) {
                const auto& [text, found] = *entry;
                out_ << L"  " << std::right << std::setw(static_cast<std::streamsize>(width))
                     << count << L"  " << text << L'\n';
                for (const std::wstring& name : found.inventories) {
                    out_ << indent << name << L'\n';
                }
                if (found.count > found.inventories.size()) {
                    out_ << indent << L"and " << found.count - found.inventories.size()
                         << L" more\n";
                }
            }
        }
    }

    std::wostream& out_;
    std::wostream& error_;
    const bool csv_;
    std::string bytes_;
    std::vector<named_file> files_;
    inventory baseline_;
    inventory current_;
    // Every file opened whose identity is certain, by the name it was first
    // opened by.
    std::map<file_identity, std::wstring> seen_;
    std::map<std::wstring, group> groups_[2];
    std::uint64_t largest_ = 0;  // the largest group's count
    std::uint64_t identical_ = 0;
    std::uint64_t differing_ = 0;
    std::uint64_t unusable_ = 0;
};

}  // namespace

int run_compare(std::span<const wchar_t* const> arguments, std::wostream& out,
                std::wostream& error) {
    bool csv = false;
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
        if (argument == L"--csv") {
            csv = true;
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
        comparison run(out, error, csv);
        return run.run(names);
    } catch (const std::exception&) {
        print_failure_line(error);
        return exit_trouble;
    }
}
