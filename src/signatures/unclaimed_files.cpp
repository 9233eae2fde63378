#include "unclaimed_files.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "error_code_text.h"
#include "executable_image.h"
#include "file_manifest.h"
#include "folder_listing.h"
#include "installed_driver_files.h"
#include "location_cache.h"
#include "missing_text.h"
#include "opened_file.h"
#include "print_processor_libraries.h"
#include "printable_name.h"

namespace {

// The walk lists each location's folder, as the driver rows show it, and its
// subfolders down to this depth: `3\Old\1\` is 2. The spooler keeps earlier
// builds in the printer driver folder's `New` and `Old\N`; nothing it loads
// lies deeper. The printer driver folder is the version folder (`x64\3`)
// itself: its neighbours hold other architectures' and versions' drivers,
// which no location of this driver is.
constexpr int deepest_folder = 4;

using name_set = std::unordered_set<std::wstring>;

name_set file_name_keys(const std::vector<std::wstring>& paths) {
    name_set keys;
    for (const std::wstring& path : paths) {
        // The whole text where it has no separator: npos + 1 is 0.
        keys.insert(file_name_key(path.substr(path.find_last_of(L"\\/") + 1)));
    }
    return keys;
}

// A folder the walk starts from, with every location that resolves to it:
// locations can coincide (both Program Files folders on 32-bit Windows) or
// lie inside one another, and a file gets one row at most.
struct location_folder {
    std::wstring text;  // as the rows show it
    std::wstring path;  // ending in a backslash
    std::wstring key;
    install_location first;  // whose package catalog the checker judges by
    std::uint32_t locations;
    name_set manifest_files;  // the names the manifest looks for here
};

class folder_walk {
public:
    folder_walk(const signature_checker& checker, const catalog_hasher& hasher, bool signers_named,
                const unclaimed_row& print, unclaimed_tally& tally)
        : checker_(checker), hasher_(hasher), signers_named_(signers_named), print_(print),
          tally_(tally) {
        for (const std::uint32_t bit : {1u, 2u, 4u, 8u, 16u}) {
            const auto location = static_cast<install_location>(bit);
            const std::wstring text = location_directory(location);
            if (text == missing_text(location)) {
                continue;
            }
            const std::wstring path = text.ends_with(L'\\') ? text : text + L'\\';
            auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& known) {
                return known.key == file_name_key(path);
            });
            if (folder == folders_.end()) {
                folder = folders_.insert(folders_.end(),
                                         {text, path, file_name_key(path), location, 0, {}});
            }
            folder->locations |= location;
            for (const manifest_entry& entry : file_manifest) {
                if ((entry.locations & location) != 0) {
                    folder->manifest_files.insert(file_name_key(entry.file_name));
                }
            }
        }
    }

    void walk_all() {
        if (folders_.empty()) {
            return;
        }
        driver_files_ = file_name_keys(installed_driver_files());
        const print_processor_libraries processors = registered_print_processors();
        processor_libraries_ = file_name_keys(processors.names);
        for (const location_folder& folder : folders_) {
            if ((folder.locations & print_processor_directory) != 0 && processors.error_code != 0) {
                // Its libraries cannot be told from planted ones: they get
                // rows below, and this one says why.
                trouble(folder, L".\\", L"the registered print processors cannot be read. " +
                                           error_code_text(processors.error_code));
            }
            walk(folder, L"", 0);
        }
    }

private:
    // `relative`: the folder's path below the location's, empty or ending
    // in a backslash.
    void walk(const location_folder& folder, const std::wstring& relative, int depth) {
        std::vector<folder_entry> entries;
        if (const std::uint32_t error = list_folder(folder.path + relative, entries)) {
            trouble(folder, relative.empty() ? L".\\" : relative,
                    L"cannot be listed. " + error_code_text(error));
            return;
        }
        for (const folder_entry& entry : entries) {
            const std::wstring path = relative + entry.name;
            if (entry.is_link()) {
                const bool junction = entry.reparse_tag == IO_REPARSE_TAG_MOUNT_POINT;
                row(folder, path,
                    {signature_status::no_signature, {},
                     junction ? L"a junction, not followed" : L"a link, not followed"},
                    true);
            } else if (!entry.is_folder()) {
                judge(folder, path, entry.name, depth);
            } else if (depth < deepest_folder) {
                // A folder that is another location's is walked as that one.
                const std::wstring key = file_name_key(folder.path + path + L'\\');
                if (std::none_of(folders_.begin(), folders_.end(),
                                 [&](const auto& other) { return other.key == key; })) {
                    walk(folder, path + L'\\', depth + 1);
                }
            }
        }
    }

    // Claimed by name: a manifest file where the manifest looks for it (it
    // has its row); a file any installed driver names, in the printer driver
    // folder and its subfolders, where the spooler puts drivers' files; a
    // registered print processor's library in the print processor folder.
    // Nowhere else does a name claim a file: a library planted in the print
    // processor folder under the name of some driver's file stays in view.
    void judge(const location_folder& folder, const std::wstring& path, const std::wstring& name,
               int depth) {
        const std::wstring key = file_name_key(name);
        if (depth == 0 && folder.manifest_files.contains(key)) {
            return;
        }
        if (((folder.locations & printer_driver_directory) != 0 && driver_files_.contains(key)) ||
            (depth == 0 && (folder.locations & print_processor_directory) != 0 &&
             processor_libraries_.contains(key))) {
            tally_.count_claimed();
            return;
        }
        // Absent and unreadable files are the check's to report.
        const opened_file file(folder.path + path);
        const bool readable = file.problem().empty();
        if (readable && checker_.listed_in_package(hasher_, folder.first, name, file.handle())) {
            return;  // the package's own, wherever in its folder
        }
        const bool executable = readable && is_executable_image(file.handle());
        auto verdict = checker_.check(hasher_, folder.first, folder.text, path);
        if (!verdict) {
            return;  // gone since the listing
        }
        const bool trusted =
            signers_named_ && (verdict->status == signature_status::embedded_signature ||
                               verdict->status == signature_status::catalog);
        verdict->detail = std::wstring(L"named by no installed driver") +
                          (executable ? L"; an executable image" : L"") +
                          (verdict->detail.empty() ? L"" : L"; ") + verdict->detail;
        row(folder, path, *verdict, executable && !trusted);
    }

    void trouble(const location_folder& folder, const std::wstring& path, std::wstring detail) {
        row(folder, path, {signature_status::unreadable, {}, std::move(detail)}, false);
    }

    // Whoever planted a file chose its name: shown as a certificate's name
    // is, so that no control character turns it into a look-alike.
    void row(const location_folder& folder, const std::wstring& path, const file_verdict& verdict,
             bool alarming) {
        print_(verdict, printable_name(path), folder.text, L"unclaimed");
        tally_.count(verdict.status, alarming);
    }

    const signature_checker& checker_;
    const catalog_hasher& hasher_;
    const bool signers_named_;
    const unclaimed_row& print_;
    unclaimed_tally& tally_;
    std::vector<location_folder> folders_;
    name_set driver_files_;
    name_set processor_libraries_;
};

}  // namespace

void unclaimed_tally::count(signature_status status, bool alarming) {
    statuses_.count(status);
    unchecked_ += status == signature_status::unreadable || status == signature_status::unchecked;
    alarming_ += alarming ? 1 : 0;
}

std::wstring unclaimed_tally::summary() const {
    return std::to_wstring(statuses_.total()) + L" unclaimed" + statuses_.counts_text() + L"; " +
           std::to_wstring(claimed_) + (claimed_ == 1 ? L" file" : L" files") +
           L" of other drivers";
}

int unclaimed_tally::exit_code() const {
    return unchecked_ > 0 ? 2 : alarming_ > 0 ? 1 : 0;
}

void check_unclaimed_files(const signature_checker& checker, const catalog_hasher& hasher,
                           bool signers_named, const unclaimed_row& print, unclaimed_tally& tally) {
    folder_walk(checker, hasher, signers_named, print, tally).walk_all();
}
