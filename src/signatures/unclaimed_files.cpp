#include "unclaimed_files.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "claim_trust.h"
#include "file.h"
#include "file_facts.h"
#include "file_manifest.h"
#include "file_streams.h"
#include "folder_listing.h"
#include "installed_drivers.h"
#include "opened_file.h"
#include "print_processor_libraries.h"
#include "printer_connections.h"
#include "registered_modules.h"
#include "spooler.h"
#include "spooler_claims.h"
#include "spooler_folders.h"
#include "spooler_queries.h"
#include "spooler_registrations.h"
#include "spooler_settings.h"

namespace pelmar::signatures {

namespace {

using win::file_name_key;

// The deepest a folder is walked, against a tree made to never end: the
// spooler's own are four deep at most (`x64\3\Old\1\`). A folder below it
// gets a row, never silence.
constexpr int deepest_folder = 32;

// A folder the walk starts from: a location of the driver, with every
// location that resolves to it (locations can coincide, as both Program
// Files folders do on 32-bit Windows), or one of the spooler's. A folder
// inside another is walked as that one, so a file gets one row at most.
struct walk_root {
    std::wstring text;  // as the rows show it
    std::wstring path;  // ending in a backslash
    std::wstring key;
    // The location whose package catalog the checker judges by.
    std::optional<install_location> first;
    std::unordered_set<std::wstring> manifest_files;  // the names the manifest looks for here
    bool processors = false;  // a print processor folder
    unique_file_handle folder;  // while walked; its volume's files open by id through it
};

// A row to be, in the walk's order: a listed file to judge, a library the
// registry names, or a verdict found while walking (a link, a folder that
// cannot be listed) or in the registry.
struct walk_item {
    walk_item(std::size_t in, std::wstring below, const win::folder_entry& listed = {})
        : root(in), path(std::move(below)), entry(listed) {}

    std::size_t root;
    std::wstring path;  // below the root's; a registered library's whole path
    win::folder_entry entry;
    std::optional<file_verdict> verdict;
    bool alarming = false;  // of an unclaimed file's row; a claimed one's always is
    bool claimed = false;   // needs no row
    bool judged = false;    // a file's verdict, not one found while walking
    std::wstring claim;     // who accounts for a claimed file, in a row's words
    // A listed file that the registry names, and nothing else claims: judged
    // as that registration, once, with the libraries outside the folders.
    bool deferred = false;
    const registered_module* registration = nullptr;
    row_kind kind = row_kind::unclaimed;
    // Of an alternate data stream (`RSWOP.icm:p.dll`): its full path, and
    // nothing to list.
    std::wstring stream_path;
    // A file of the driver where the manifest looks for it, which has a row
    // of its own: only its streams are the walk's.
    bool streams_only = false;
    // The rows of a file's streams, after its own.
    std::vector<walk_item> streams;
};

// The path of `folder` (ending in a backslash) as the host of a stream,
// `C:\x\sub` of `C:\x\sub:p.dll`.
std::wstring without_backslash(const std::wstring& folder) {
    return folder.substr(0, folder.size() - 1);
}

// Windows compiles an installed package's INF into `<name>.PNF` beside it,
// after the package's catalog was signed. `path`: below the package folder.
bool is_compiled_inf(const std::wstring& path) {
    return std::any_of(file_manifest.begin(), file_manifest.end(), [&](const manifest_entry& entry) {
        const std::wstring_view name = entry.file_name;
        return (entry.locations & driver_package_directory) != 0 && name.ends_with(L".inf") &&
               win::same_file_name(path, std::wstring(name.substr(0, name.size() - 4)) + L".PNF");
    });
}

std::wstring ending_in_backslash(std::wstring path) {
    return path.ends_with(L'\\') ? path : path + L'\\';
}

class folder_walk {
public:
    folder_walk(const signature_checker& checker,
                const std::map<install_location, std::wstring>& directories)
        : checker_(checker) {
        for (const auto& [location, text] : directories) {
            walk_root& root = add_root(text);
            root.first = root.first.value_or(location);
            for (const manifest_entry& entry : file_manifest) {
                if ((entry.locations & location) != 0) {
                    root.manifest_files.insert(file_name_key(entry.file_name));
                }
            }
        }
    }

    // Lists every folder, then judges the files with `hasher`.
    [[nodiscard]] std::vector<walk_item> walk_all(const win::catalog_hasher& hasher) {
        const std::vector<installed_driver> drivers = installed_drivers();
        const print_processor_libraries processors = registered_print_processors();
        std::vector<std::wstring> named = processors.environments;
        for (const installed_driver& driver : drivers) {
            named.push_back(driver.environment);
        }
        const std::vector<spooler_environment> environments = spooler_environments(named);
        auto printers = win::printer_driver_names(winspool::tries_while_growing);
        std::vector<std::wstring> used =
            printers ? std::move(printers).value() : std::vector<std::wstring>();
        // Run as SYSTEM, the spooler lists no user's connections.
        const bool connections_read = !connection_driver_names(used);
        claims_.emplace(drivers, processors, environments, used,
                        !printers           ? printer_use::unknown
                        : connections_read ? printer_use::known
                                           : printer_use::local_only);
        const spooler_registrations registry = read_spooler_registrations();
        registered_ = registered_sources_of(registry, processors, environments, drivers);
        for (const registered_module& module : registered_.modules) {
            registered_keys_.insert(file_name_key(module.path));
        }

        // The spooler's folders: everything below `spool\drivers` (every
        // environment, version, staging, language, cabinet and colour
        // folder, and any other), and each environment's print processors.
        for (const spooler_environment& environment : environments) {
            if (environment.failure) {
                // Shown under the environment's name, which is all there is.
                add_root(environment.name).path.clear();
                add_row(roots_.size() - 1, L".\\",
                        trouble({L"the spooler does not give its folders",
                                 environment.failure->code}));
                continue;
            }
            const std::wstring folder = ending_in_backslash(environment.driver_folder);
            add_root(folder.substr(0, folder.find_last_of(L'\\', folder.size() - 2) + 1));
        }
        for (const spooler_environment& environment : environments) {
            if (!environment.failure) {
                add_root(ending_in_backslash(environment.processor_folder)).processors = true;
            }
        }
        for (std::size_t index = 0; index < roots_.size(); ++index) {
            walk_root& root = roots_[index];
            if (root.path.empty()) {
                continue;
            }
            win::result<unique_file_handle> opened = win::open_folder_to_list(root.path);
            if (!opened) {
                const std::uint32_t error = opened.error().code;
                // An environment's folder that was never made holds nothing.
                if (!root.first && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
                    continue;
                }
                add_row(index, L".\\", trouble({L"cannot be listed", error}));
                continue;
            }
            root.folder = std::move(opened).value();
            if (root.processors && processors.failure) {
                // Its libraries cannot be told from planted ones: they get
                // rows below, and this one says why.
                add_row(index, L".\\",
                        trouble({L"the registered print processors cannot be read",
                                 processors.failure->code}));
            }
            walk(index, root.folder.get(), L"", 0);
        }

        // One after another: under Wine, a print server's 900 small images
        // verified no faster on two threads than on one, and each row is
        // found in the walk's order as it is printed.
        for (walk_item& item : items_) {
            if (item.verdict) {
                continue;
            }
            item.judged = true;
            if (item.stream_path.empty()) {
                judge(hasher, item);
            } else {
                judge_stream(hasher, item);
            }
        }

        // Then what the registry names: each library that the walk did not
        // judge, wherever it lies, and the registry's own rows.
        std::unordered_set<std::wstring> judged;
        for (const walk_item& item : items_) {
            if (!item.deferred) {
                judged.insert(file_name_key(roots_[item.root].path + item.path));
            }
        }
        const std::size_t first = items_.size();
        for (const registered_module& module : registered_.modules) {
            if (!judged.contains(file_name_key(module.path))) {
                items_.emplace_back(registry_root(module.root), module.path).registration = &module;
            }
        }
        for (std::size_t index = first; index < items_.size(); ++index) {
            judge_registered(hasher, items_[index]);
        }
        for (registry_finding& finding : registered_.findings) {
            add_row(registry_root(finding.root), finding.name, std::move(finding.verdict));
            items_.back().kind = row_kind::registered;
        }
        for (registry_finding& finding : exposed_settings(registry)) {
            add_row(registry_root(finding.root), finding.name, std::move(finding.verdict));
            items_.back().kind = row_kind::setting;
        }
        return std::move(items_);
    }

    const std::wstring& root_text(std::size_t root) const { return roots_[root].text; }

    // The file whose bytes `item`'s verdict is of; none where the row is of
    // a folder or a link, found while walking.
    std::optional<std::wstring> judged_path(const walk_item& item) const {
        if (!item.judged) {
            return std::nullopt;
        }
        return item.stream_path.empty() ? roots_[item.root].path + item.path : item.stream_path;
    }

private:
    walk_root& add_root(const std::wstring& text) {
        const std::wstring path = ending_in_backslash(text);
        if (walk_root* known = root_at(path)) {
            return *known;
        }
        walk_root& root = roots_.emplace_back();
        root.text = text;
        root.path = path;
        root.key = file_name_key(path);
        return root;
    }

    // The root that rows of the registry's key `text` show, walked never.
    std::size_t registry_root(const std::wstring& text) {
        walk_root& root = add_root(text);
        root.path.clear();
        return static_cast<std::size_t>(&root - roots_.data());
    }

    // The root whose folder `path` (ending in a backslash) is, if any.
    walk_root* root_at(const std::wstring& path) {
        const std::wstring key = file_name_key(path);
        const auto known = std::find_if(roots_.begin(), roots_.end(),
                                        [&](const walk_root& root) { return root.key == key; });
        return known != roots_.end() ? &*known : nullptr;
    }

    // A row found while walking, before any file is judged.
    void add_row(std::size_t root, std::wstring path, file_verdict verdict, bool alarming = false) {
        walk_item& item = items_.emplace_back(root, std::move(path));
        item.verdict = std::move(verdict);
        item.alarming = alarming;
    }

    static file_verdict trouble(reason why) {
        return {signature_status::unreadable, {}, {std::move(why)}};
    }

    // The row of a file that exists but cannot be read.
    static file_verdict unreadable(const opened_file& file) { return trouble(file.problem()); }

    // The facts of `file`, open at `path`, where it can be read.
    static std::optional<file_facts> facts_of(const win::catalog_hasher& hasher,
                                              const std::wstring& path, const opened_file& file) {
        if (!file.readable()) {
            return std::nullopt;
        }
        return std::optional<file_facts>(std::in_place, hasher, path, file.handle());
    }

    // `relative`: the folder's path below the root's, empty or ending in a
    // backslash; `folder`: that folder, open to be listed.
    void walk(std::size_t index, HANDLE folder, const std::wstring& relative, int depth) {
        const walk_root& root = roots_[index];
        const win::result<std::vector<win::folder_entry>> entries = win::list_folder(folder);
        if (!entries) {
            add_row(index, relative.empty() ? L".\\" : relative,
                    trouble({L"cannot be listed", entries.error().code}));
            return;
        }
        // A folder's own streams, shown after its name (`.` for the root's).
        add_streams(items_, index, folder,
                    relative.empty() ? L"." : without_backslash(relative),
                    without_backslash(root.path + relative));
        for (const win::folder_entry& entry : entries.value()) {
            const std::wstring path = relative + entry.name;
            if (entry.is_link()) {
                const bool junction = entry.reparse_tag == IO_REPARSE_TAG_MOUNT_POINT;
                add_row(index, path,
                        {signature_status::no_signature,
                         {},
                         {{junction ? L"a junction, not followed" : L"a link, not followed"}}},
                        true);
            } else if (!entry.is_folder()) {
                items_.emplace_back(index, path, entry).streams_only =
                    depth == 0 && root.manifest_files.contains(file_name_key(entry.name));
            } else if (root_at(root.path + path + L'\\') != nullptr) {
                continue;  // walked as that one
            } else if (depth == deepest_folder) {
                add_row(index, path + L'\\',
                        trouble({L"not walked: more than " + std::to_wstring(deepest_folder) +
                                 L" folders deep"}));
            } else {
                const win::result<unique_file_handle> subfolder =
                    win::open_listed(folder, root.path + path + L'\\', entry);
                if (!subfolder) {
                    const std::uint32_t error = subfolder.error().code;
                    if (error != ERROR_INVALID_PARAMETER && error != ERROR_FILE_NOT_FOUND) {
                        add_row(index, path + L'\\',
                                trouble({L"cannot be listed", error}));
                    }
                    continue;  // or gone since the listing
                }
                walk(index, subfolder.value().get(), path + L'\\', depth + 1);
            }
        }
    }

    // A file that someone claims needs no row where it is data, or an
    // image that Windows installed: a name alone is no proof, since an
    // attack names its own payload in the driver it installs. What nobody
    // claims keeps its row, unless its own package lists it.
    void judge(const win::catalog_hasher& hasher, walk_item& item) const {
        const walk_root& root = roots_[item.root];
        const std::wstring path = root.path + item.path;
        const opened_file file(root.folder.get(), path, item.entry);
        if (file.absent()) {
            item.claimed = true;  // gone since the listing: nothing to say
            return;
        }
        const std::optional<file_claim> claim = claims_->claim(path);
        if (!claim && registered_keys_.contains(file_name_key(path))) {
            item.claimed = item.deferred = true;
            return;
        }
        std::optional<file_facts> facts = facts_of(hasher, path, file);
        if (facts) {
            add_streams(item.streams, item.root, file.handle(), item.path, path);
            for (walk_item& stream : item.streams) {
                if (!stream.verdict) {
                    judge_stream(hasher, stream);
                }
            }
        }
        if (item.streams_only) {
            item.claimed = true;
            return;
        }
        if (facts && root.first && checker_.listed_in_package(*root.first, item.entry.name, *facts)) {
            item.claimed = true;
            return;  // the package's own, wherever in its folder
        }
        const bool executable = facts && facts->is_executable_image();
        if (facts && !executable && root.first == driver_package_directory &&
            is_compiled_inf(item.path)) {
            item.claimed = true;
            return;  // the package's own, which its catalog cannot list
        }
        if (claim && (claim->images || !executable)) {
            item.kind = row_kind::claimed;
            item.claim = claim->by;
            if (!executable && facts) {
                item.claimed = true;
                return;
            }
            judge_claimed(item, claim->installed_name, file, facts, claim->by);
            return;
        }
        judge_unclaimed(root.first, item.entry.name, file, facts, item);
    }

    // The streams of the open `host`, shown as `shown`, at `path`, as items
    // to judge in `into`; a row where they cannot be listed.
    void add_streams(std::vector<walk_item>& into, std::size_t root, HANDLE host,
                     const std::wstring& shown, const std::wstring& path) const {
        const win::result<std::vector<std::wstring>> names = win::list_streams(host);
        if (!names) {
            walk_item& item = into.emplace_back(root, shown);
            item.verdict =
                trouble({L"its streams cannot be listed", names.error().code});
            return;
        }
        const std::wstring verbatim = win::verbatim_path(path);
        for (const std::wstring& name : names.value()) {
            into.emplace_back(root, shown + L':' + name).stream_path =
                (verbatim.empty() ? path : verbatim) + L':' + name;
        }
    }

    // A stream needs a row where it holds an executable image: whatever
    // its host's name, nothing installs one there.
    void judge_stream(const win::catalog_hasher& hasher, walk_item& item) const {
        item.judged = true;
        const opened_file file(item.stream_path);
        std::optional<file_facts> facts = facts_of(hasher, item.stream_path, file);
        if (file.absent() || (facts && !facts->is_executable_image())) {
            item.claimed = true;  // data, as a download's zone mark, or gone
            return;
        }
        judge_unclaimed(std::nullopt, item.path, file, facts, item);
    }

    // The row of a file that nobody claims, open as `file`, its facts where
    // it can be read.
    void judge_unclaimed(std::optional<install_location> location, const std::wstring& name,
                         const opened_file& file, std::optional<file_facts>& facts,
                         walk_item& item) const {
        const bool executable = facts && facts->is_executable_image();
        file_verdict verdict =
            facts ? checker_.check_open(location, name, *facts) : unreadable(file);
        std::vector<reason> named_by_none{{L"named by no installed driver"}};
        if (executable) {
            named_by_none.emplace_back(L"an executable image");
        }
        verdict.reasons.insert(verdict.reasons.begin(), named_by_none.begin(),
                               named_by_none.end());
        item.alarming =
            executable && !trusted_image({.embedded = facts->embedded()}, checker_.named());
        item.verdict = std::move(verdict);
    }

    // An image that Windows' records claim under `installed_name`, `by` in a
    // row's words: silent where the claim rule trusts it.
    void judge_claimed(walk_item& item, const std::wstring& installed_name,
                       const opened_file& file, std::optional<file_facts>& facts,
                       const std::wstring& by) const {
        std::optional<file_verdict> verdict =
            facts ? checker_.check_claimed(installed_name, *facts) : unreadable(file);
        if (!verdict) {
            item.claimed = true;
            return;
        }
        verdict->reasons.insert(verdict->reasons.begin(), reason(by));
        item.verdict = std::move(verdict);
    }

    // A library the registry names, judged as the image a driver claims; one
    // that is not there is no alarm, the spooler cannot load it, and no row
    // where the spooler would not load it anyway.
    void judge_registered(const win::catalog_hasher& hasher, walk_item& item) const {
        item.kind = row_kind::registered;
        item.judged = true;
        const std::wstring& by = item.registration->by;
        item.claim = by;
        const opened_file file(item.path);
        if (file.absent() && !item.registration->loaded_here) {
            item.claimed = true;
            return;
        }
        if (file.absent()) {
            item.verdict = {signature_status::missing, {}, {{by}, {L"registered but missing"}}};
            return;
        }
        std::optional<file_facts> facts = facts_of(hasher, item.path, file);
        const std::size_t leaf = item.path.find_last_of(L'\\');
        judge_claimed(item, leaf == std::wstring::npos ? item.path : item.path.substr(leaf + 1),
                      file, facts, by);
    }

    const signature_checker& checker_;
    std::vector<walk_root> roots_;
    std::optional<spooler_claims> claims_;
    registered_sources registered_;
    std::unordered_set<std::wstring> registered_keys_;
    std::vector<walk_item> items_;
};

}  // namespace

void check_unclaimed_files(const signature_checker& checker, const win::catalog_hasher& hasher,
                           const std::map<install_location, std::wstring>& directories,
                           const row_printer& print, unclaimed_tally& tally) {
    folder_walk walk(checker, directories);
    const auto report = [&](const walk_item& item) {
        if (item.claimed) {
            if (item.kind == row_kind::claimed) {
                tally.count_claimed();
            } else if (item.kind == row_kind::registered) {
                tally.count_registered();
            }
            return;
        }
        print({*item.verdict, item.path, walk.root_text(item.root), item.kind,
               walk.judged_path(item), item.claim});
        switch (item.kind) {
        case row_kind::claimed:
            tally.count_claimed_row(item.verdict->status);
            break;
        case row_kind::registered:
            tally.count_registered_row(item.verdict->status);
            break;
        case row_kind::setting:
            tally.count_setting();
            break;
        case row_kind::unclaimed:
        case row_kind::driver:  // the driver's own rows are not the walk's
            tally.count(item.verdict->status, item.alarming);
            break;
        }
    };
    for (const walk_item& item : walk.walk_all(hasher)) {
        report(item);
        for (const walk_item& stream : item.streams) {
            report(stream);
        }
    }
}

}  // namespace pelmar::signatures
