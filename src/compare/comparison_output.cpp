#include "comparison_output.h"

#include <algorithm>
#include <iomanip>
#include <map>
#include <optional>
#include <ranges>
#include <string_view>
#include <vector>

#include "console_output.h"
#include "csv_record.h"
#include "file_manifest.h"
#include "json_line.h"
#include "manifest_rows.h"
#include "missing_text.h"

namespace pelmar::compare {

namespace {

// The changes by the names CSV records give them.
std::wstring_view change_name(row_change change) {
    constexpr std::wstring_view names[] = {L"",           L"location missing", L"location added",
                                           L"file missing", L"file added",     L"changed",
                                           L"corrupt or altered"};
    return names[static_cast<std::size_t>(change)];
}

// "3 inventories: 1 identical, 1 differ, 1 could not be used".
std::wstring counts_text(std::uint64_t identical, std::uint64_t differing, std::uint64_t unusable) {
    return std::to_wstring(identical + differing + unusable) + L" inventories: " +
           std::to_wstring(identical) + L" identical, " + std::to_wstring(differing) +
           L" differ, " + std::to_wstring(unusable) + L" could not be used";
}

// A support engineer acts on the inventories named and counts the rest.
constexpr std::size_t named_per_group = 10;

class text : public comparison_output {
public:
    explicit text(std::wostream& out) : out_(out) {}

    void compared(const std::wstring& name, const inventory& baseline, const inventory& other,
                  const row_changes& changes) override {
        if (other.problem.empty() && changes.empty()) {
            out_ << name << L": identical\n";
            return;
        }
        out_ << name << L": " << changes.size() << L" of " << other.rows.size()
             << L" rows differ\n";
        for (const auto& [row, change] : changes) {
            report_row(name, row, change, baseline.rows[row], other.rows[row]);
        }
    }

    void unusable(const std::wstring& name, const std::wstring& problem) override {
        add_to_group(unusable_, problem, name);
    }

    void summary(std::uint64_t identical, std::uint64_t differing, std::uint64_t unusable,
                 int) override {
        if (identical + differing + unusable > 1) {
            out_ << L'\n' << counts_text(identical, differing, unusable) << L'\n';
            print_groups(L"Differences from the baseline, most frequent first:", differences_);
            print_groups(L"Could not be used, most frequent first:", unusable_);
        }
    }

private:
    void report_row(const std::wstring& name, std::size_t row, row_change change,
                    const inventory_row& baseline, const inventory_row& other) {
        // The names padded to two characters beyond the longest, so that lines line up.
        static const std::size_t file_width = 2 + std::ranges::max(std::views::transform(
            file_manifest, [](const manifest_entry& file) { return file.file_name.size(); }));
        static const std::size_t location_width = 2 + std::ranges::max(std::views::transform(
            location_names, [](std::wstring_view location) { return location.size(); }));
        const manifest_row& listed = manifest_rows()[row];  // its file and location
        std::wstring line = listed.entry->file_name;
        line.resize(file_width, L' ');
        line += location_name(listed.location);
        line.resize(file_width + location_width, L' ');
        const bool version_or_size = change == row_change::version_or_size;
        if (change == row_change::content) {
            line += L"content differs at the same version and size: corrupt or altered";
        } else if (!version_or_size) {
            line += change_name(change);
        }
        if (version_or_size && baseline.version != other.version) {
            line.append(L"version ").append(baseline.version).append(L" -> ").append(other.version);
        }
        if (version_or_size && baseline.size != other.size) {
            line += baseline.version != other.version ? L", size " : L"size ";
            line += std::to_wstring(baseline.size) + L" -> " + std::to_wstring(other.size);
        }
        out_ << L"  " << line << L'\n';
        add_to_group(differences_, line, name);
    }

    // What a fleet's inventories have in common: the same change of the same
    // row, or the same reason why an inventory could not be used; each group
    // with how many inventories are in it, and the first ones.
    struct group {
        std::uint64_t count = 0;
        std::vector<std::wstring> inventories;
    };
    using groups = std::map<std::wstring, group>;

    void add_to_group(groups& to, const std::wstring& text, const std::wstring& name) {
        group& into = to[text];
        largest_ = std::max(largest_, ++into.count);
        if (into.count <= named_per_group) {
            into.inventories.push_back(name);
        }
    }

    // The groups under a heading, most frequent first, each followed by the
    // names of its first inventories.
    void print_groups(std::wstring_view heading, const groups& of) {
        const std::size_t width = std::to_wstring(largest_).size();
        const std::wstring indent(width + 6, L' ');
        // Equal counts stay in the order of their texts.
        std::multimap<std::uint64_t, const groups::value_type*, std::greater<>> order;
        for (const auto& entry : of) {
            order.emplace(entry.second.count, &entry);
        }
        out_ << (order.empty() ? L"" : heading) << (order.empty() ? L"" : L"\n");
        for (const auto& [count, entry] : order) {
            const auto& [text, found] = *entry;
            out_ << L"  " << std::right << std::setw(static_cast<std::streamsize>(width)) << count
                 << L"  " << text << L'\n';
            for (const std::wstring& name : found.inventories) {
                out_ << indent << name << L'\n';
            }
            if (found.count > found.inventories.size()) {
                out_ << indent << L"and " << found.count - found.inventories.size() << L" more\n";
            }
        }
    }

    std::wostream& out_;
    groups differences_;
    groups unusable_;
    std::uint64_t largest_ = 0;  // the largest group's count
};

// A record per differing row, identical inventory and unusable inventory,
// each format writing its own.
class records : public comparison_output {
public:
    void compared(const std::wstring& name, const inventory& baseline, const inventory& other,
                  const row_changes& changes) override {
        if (other.problem.empty() && changes.empty()) {
            whole_inventory(name, L"identical", {});
        }
        for (const auto& [row, change] : changes) {
            report_row(name, row, change, baseline.rows[row], other.rows[row]);
        }
    }

    void unusable(const std::wstring& name, const std::wstring& problem) override {
        whole_inventory(name, L"unusable", problem);
    }

private:
    virtual void report_row(const std::wstring& name, std::size_t row, row_change change,
                            const inventory_row& baseline, const inventory_row& other) = 0;
    // `detail`: why it could not be used; none for an identical one.
    virtual void whole_inventory(std::wstring_view name, std::wstring_view change,
                                 std::optional<std::wstring_view> detail) = 0;
};

class csv : public records {
public:
    explicit csv(std::wostream& out) : out_(out) {
        // The byte order mark tells Excel that the text is UTF-8.
        out_ << L"\uFEFFinventory,file,location,change,baseline_version,version,baseline_size,"
                L"size,baseline_sha1,sha1,detail\n";
    }

private:
    void report_row(const std::wstring& name, std::size_t row, row_change change,
                    const inventory_row& baseline, const inventory_row& other) override {
        // Each side's values where its file is present.
        const auto of = [](const inventory_row& side, std::wstring_view value) {
            return side.file_present ? value : std::wstring_view();
        };
        const manifest_row& listed = manifest_rows()[row];  // its file and location
        const std::wstring sizes[] = {std::to_wstring(baseline.size), std::to_wstring(other.size)};
        write_csv_record(out_, {name, listed.entry->file_name, location_name(listed.location),
                                change_name(change), of(baseline, baseline.version),
                                of(other, other.version), of(baseline, sizes[0]),
                                of(other, sizes[1]), of(baseline, baseline.hash),
                                of(other, other.hash), {}});
    }

    void whole_inventory(std::wstring_view name, std::wstring_view change,
                         std::optional<std::wstring_view> detail) override {
        write_csv_record(out_,
                         {name, {}, {}, change, {}, {}, {}, {}, {}, {}, detail.value_or(L"")});
    }

    std::wostream& out_;
};

class json : public records {
public:
    explicit json(std::wostream& out) : out_(out) { keep_line_feeds(out_); }

    void summary(std::uint64_t identical, std::uint64_t differing, std::uint64_t unusable,
                 int exit_code) override {
        json_line()
            .text("summary", counts_text(identical, differing, unusable))
            .number("identical", identical)
            .number("differ", differing)
            .number("unusable", unusable)
            .number("exit_code", static_cast<std::uint64_t>(exit_code))
            .write(out_);
    }

private:
    void report_row(const std::wstring& name, std::size_t row, row_change change,
                    const inventory_row& baseline, const inventory_row& other) override {
        // Each side's values where its file is present, null where it is not.
        const auto text_of = [](const inventory_row& side, std::wstring_view value) {
            return side.file_present ? std::optional<std::wstring_view>(value) : std::nullopt;
        };
        const auto size_of = [](const inventory_row& side) {
            return side.file_present ? std::optional<std::uint64_t>(side.size) : std::nullopt;
        };
        const manifest_row& listed = manifest_rows()[row];  // its file and location
        json_line()
            .text("inventory", name)
            .text("file", listed.entry->file_name)
            .text("location", location_name(listed.location))
            .text("change", change_name(change))
            .text_or_null("baseline_version", text_of(baseline, baseline.version))
            .text_or_null("version", text_of(other, other.version))
            .number_or_null("baseline_size", size_of(baseline))
            .number_or_null("size", size_of(other))
            .text_or_null("baseline_sha1", text_of(baseline, baseline.hash))
            .text_or_null("sha1", text_of(other, other.hash))
            .text_or_null("detail", std::nullopt)
            .write(out_);
    }

    void whole_inventory(std::wstring_view name, std::wstring_view change,
                         std::optional<std::wstring_view> detail) override {
        json_line line;
        line.text("inventory", name);
        for (const char* absent : {"file", "location"}) {
            line.text_or_null(absent, std::nullopt);
        }
        line.text("change", change);
        for (const char* absent : {"baseline_version", "version", "baseline_size", "size",
                                   "baseline_sha1", "sha1"}) {
            line.text_or_null(absent, std::nullopt);
        }
        line.text_or_null("detail", detail).write(out_);
    }

    std::wostream& out_;
};

}  // namespace

std::unique_ptr<comparison_output> text_output(std::wostream& out) {
    return std::make_unique<text>(out);
}

std::unique_ptr<comparison_output> csv_output(std::wostream& out) {
    return std::make_unique<csv>(out);
}

std::unique_ptr<comparison_output> json_output(std::wostream& out) {
    return std::make_unique<json>(out);
}

}  // namespace pelmar::compare
