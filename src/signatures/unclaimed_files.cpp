#include "unclaimed_files.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <windows.h>

#include "error_code_text.h"
#include "file_manifest.h"
#include "installed_driver_files.h"
#include "location_cache.h"
#include "missing_text.h"
#include "opened_file.h"
#include "print_processor_libraries.h"
#include "unique_handle.h"

namespace {

using unique_find_handle = unique_handle<HANDLE, FindClose, -1>;

// The walk lists each location's folder, as the driver rows show it, and its
// subfolders down to this depth: `3\Old\1\` is 2. The spooler keeps earlier
// builds in the printer driver folder's `New` and `Old\N`; nothing it loads
// lies deeper. The printer driver folder is the version folder (`x64\3`)
// itself: its neighbours hold other architectures' and versions' drivers,
// which no location of this driver is.
constexpr int deepest_folder = 4;

constexpr install_location locations[] = {printer_driver_directory, print_processor_directory,
                                          program_files_directory, program_files_x86_directory,
                                          driver_package_directory};

// A name as claims compare names: letter case aside, as Windows compares
// file names, and the same in every language.
std::wstring folded(std::wstring_view name) {
    std::wstring upper(name);
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()),
                  upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
    return upper;
}

std::unordered_set<std::wstring> folded_file_names(const std::vector<std::wstring>& paths) {
    std::unordered_set<std::wstring> names;
    for (const std::wstring& path : paths) {
        const auto separator = path.find_last_of(L"\\/");
        names.insert(folded(separator == std::wstring::npos ? path : path.substr(separator + 1)));
    }
    return names;
}

// A folder the walk starts from, with every location that resolves to it:
// locations can coincide (both Program Files folders on 32-bit Windows) or
// lie inside one another, and a file gets one row at most.
struct location_folder {
    std::wstring text;  // as the rows show it
    std::wstring path;  // without a trailing backslash
    std::uint32_t locations;
};

struct folder_entry {
    std::wstring name;
    DWORD attributes;
    DWORD reparse_tag;
};

bool is_folder(const folder_entry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Symbolic links and junctions stand in for another name; other reparse
// points (compressed or deduplicated files) hold their own data.
bool is_link(const folder_entry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(entry.reparse_tag);
}

// The entries of the folder (its path ending in a backslash), files first,
// each part in the order of their names; the Windows error code of a listing
// that failed, or 0. `*` matches every long name once, where a pattern would
// also match short 8.3 names.
std::uint32_t list_folder(const std::wstring& folder, std::vector<folder_entry>& entries) {
    WIN32_FIND_DATAW data{};
    const HANDLE found = FindFirstFileExW((folder + L'*').c_str(), FindExInfoBasic, &data,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    const unique_find_handle owner(found);
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({std::wstring(name), data.dwFileAttributes, data.dwReserved0});
        }
    } while (FindNextFileW(found, &data));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        return error;
    }
    std::sort(entries.begin(), entries.end(), [](const folder_entry& left, const folder_entry& right) {
        if (is_folder(left) != is_folder(right)) {
            return is_folder(right);
        }
        return CompareStringOrdinal(left.name.data(), static_cast<int>(left.name.size()),
                                    right.name.data(), static_cast<int>(right.name.size()),
                                    TRUE) == CSTR_LESS_THAN;
    });
    return 0;
}

bool read_at(HANDLE file, std::uint64_t offset, void* bytes, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, &at) && read == size;
}

// An image Windows would load, whatever its name says: `MZ`, and at the
// offset the DOS header gives, inside the file, `PE\0\0`.
bool is_executable_image(HANDLE file) {
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    return read_at(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
           dos.e_lfanew >= 0 &&
           read_at(file, static_cast<std::uint64_t>(dos.e_lfanew), &signature, sizeof signature) &&
           signature == IMAGE_NT_SIGNATURE;
}

constexpr std::wstring_view unnamed = L"named by no installed driver";

class folder_walk {
public:
    folder_walk(const signature_checker& checker, const catalog_hasher& hasher, bool signers_named,
                const unclaimed_row& print, unclaimed_tally& tally)
        : checker_(checker), hasher_(hasher), signers_named_(signers_named), print_(print),
          tally_(tally) {
        for (const install_location location : locations) {
            std::wstring text = location_directory(location);
            if (text == missing_text(location)) {
                continue;
            }
            std::wstring path = text;
            while (path.ends_with(L'\\')) {
                path.pop_back();
            }
            const auto same = std::find_if(folders_.begin(), folders_.end(), [&](const auto& folder) {
                return folded(folder.path) == folded(path);
            });
            if (same != folders_.end()) {
                same->locations |= location;
            } else {
                folders_.push_back({std::move(text), std::move(path), location});
            }
        }
        for (const manifest_entry& entry : file_manifest) {
            manifest_names_.push_back(folded(entry.file_name));
        }
    }

    void walk_all() {
        if (folders_.empty()) {
            return;
        }
        driver_files_ = folded_file_names(installed_driver_files());
        const print_processor_libraries processors = registered_print_processors();
        processor_libraries_ = folded_file_names(processors.names);
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
        if (const std::uint32_t error = list_folder(folder.path + L'\\' + relative, entries)) {
            trouble(folder, relative.empty() ? L".\\" : relative,
                    L"cannot be listed. " + error_code_text(error));
            return;
        }
        for (const folder_entry& entry : entries) {
            const std::wstring path = relative + entry.name;
            if (is_link(entry)) {
                const bool junction = entry.reparse_tag == IO_REPARSE_TAG_MOUNT_POINT;
                print_({signature_status::no_signature, {},
                        junction ? L"a junction, not followed" : L"a link, not followed"},
                       path, folder.text);
                tally_.count(signature_status::no_signature, true);
            } else if (!is_folder(entry)) {
                judge(folder, path, entry.name, depth);
            } else if (depth < deepest_folder && !another_location(folder, path)) {
                walk(folder, path + L'\\', depth + 1);
            }
        }
    }

    bool another_location(const location_folder& folder, const std::wstring& relative) const {
        const std::wstring path = folded(folder.path + L'\\' + relative);
        return std::any_of(folders_.begin(), folders_.end(),
                           [&](const auto& other) { return folded(other.path) == path; });
    }

    // Claimed by name: a manifest file where the manifest looks for it (it
    // has its row); a file any installed driver names, in the printer driver
    // folder and its subfolders, where the spooler puts drivers' files; a
    // registered print processor's library in the print processor folder.
    // Nowhere else does a name claim a file: a library planted in the print
    // processor folder under the name of some driver's file stays in view.
    bool claimed(const location_folder& folder, const std::wstring& name, int depth) {
        const std::wstring key = folded(name);
        if (depth == 0) {
            for (std::size_t index = 0; index < file_manifest.size(); ++index) {
                if ((file_manifest[index].locations & folder.locations) != 0 &&
                    manifest_names_[index] == key) {
                    return true;
                }
            }
        }
        const bool driver_folder = (folder.locations & printer_driver_directory) != 0;
        const bool processor_folder = depth == 0 && (folder.locations & print_processor_directory) != 0;
        if ((driver_folder && driver_files_.contains(key)) ||
            (processor_folder && processor_libraries_.contains(key))) {
            tally_.count_claimed();
            return true;
        }
        return false;
    }

    void judge(const location_folder& folder, const std::wstring& path, const std::wstring& name,
               int depth) {
        if (claimed(folder, name, depth)) {
            return;
        }
        const install_location location = first_location(folder);
        std::optional<file_verdict> verdict;
        bool executable = false;
        {
            const opened_file file(folder.text + L'\\' + path);
            if (file.absent()) {
                return;  // gone since the listing
            }
            if (file.error_code() != 0) {
                verdict = {signature_status::unreadable, {},
                           L"cannot be read. " + error_code_text(file.error_code())};
            } else if (checker_.listed_in_package(hasher_, location, file.handle())) {
                return;  // the package's own file, wherever in its folder
            } else {
                executable = is_executable_image(file.handle());
            }
        }
        if (!verdict) {
            verdict = checker_.check(hasher_, location, folder.text, path);
            if (!verdict) {
                return;
            }
        }
        const bool trusted = signers_named_ && (verdict->status == signature_status::embedded_signature ||
                                                verdict->status == signature_status::catalog);
        std::wstring detail(unnamed);
        if (executable) {
            detail += L"; an executable image";
        }
        if (!verdict->detail.empty()) {
            detail += L"; " + verdict->detail;
        }
        verdict->detail = std::move(detail);
        print_(*verdict, path, folder.text);
        tally_.count(verdict->status, executable && !trusted);
    }

    void trouble(const location_folder& folder, const std::wstring& path, std::wstring detail) {
        print_({signature_status::unreadable, {}, std::move(detail)}, path, folder.text);
        tally_.count(signature_status::unreadable, false);
    }

    static install_location first_location(const location_folder& folder) {
        return *std::find_if(std::begin(locations), std::end(locations),
                             [&](install_location location) { return (folder.locations & location) != 0; });
    }

    const signature_checker& checker_;
    const catalog_hasher& hasher_;
    const bool signers_named_;
    const unclaimed_row& print_;
    unclaimed_tally& tally_;
    std::vector<location_folder> folders_;
    std::vector<std::wstring> manifest_names_;
    std::unordered_set<std::wstring> driver_files_;
    std::unordered_set<std::wstring> processor_libraries_;
};

}  // namespace

void unclaimed_tally::count(signature_status status, bool alarming) {
    statuses_.count(status);
    unreadable_ += status == signature_status::unreadable ? 1 : 0;
    alarming_ += alarming ? 1 : 0;
}

std::wstring unclaimed_tally::summary() const {
    return std::to_wstring(statuses_.total()) + L" unclaimed" + statuses_.counts_text() + L"; " +
           std::to_wstring(claimed_) + (claimed_ == 1 ? L" file" : L" files") +
           L" of other drivers";
}

int unclaimed_tally::exit_code() const {
    return unreadable_ > 0 ? 2 : alarming_ > 0 ? 1 : 0;
}

void check_unclaimed_files(const signature_checker& checker, const catalog_hasher& hasher,
                           bool signers_named, const unclaimed_row& print, unclaimed_tally& tally) {
    folder_walk(checker, hasher, signers_named, print, tally).walk_all();
}
