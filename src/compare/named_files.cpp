#include "named_files.h"

#include "error_code_text.h"
#include "file.h"
#include "folder_listing.h"

namespace pelmar::compare {

namespace {

// Whether an identity tells one file from every other, by either half of its id.
bool is_certain(const file_identity& identity) {
    return win::tells_files_apart(identity[1]) || win::tells_files_apart(identity[2]);
}

// The serial number of the volume that holds `folder`, where a listing's
// file indexes are the file ids that FILE_ID_INFO gives: on every file
// system but ReFS, whose 128-bit ids they do not hold.
std::optional<std::uint64_t> indexed_volume(const std::wstring& folder) {
    const win::result<unique_file_handle> opened = win::open_folder_to_query(folder);
    if (!opened) {
        return std::nullopt;
    }
    const std::optional<file_identity> identity = certain_identity(opened.value().get());
    if (!identity) {
        return std::nullopt;
    }
    const win::result<std::wstring> file_system = win::file_system_of(opened.value().get());
    return file_system && file_system.value() != L"ReFS" ? std::optional((*identity)[0])
                                                         : std::nullopt;
}

}  // namespace

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

std::optional<file_identity> certain_identity(HANDLE file) {
    const win::result<file_identity> identity = win::id_of(file);
    return identity && is_certain(identity.value()) ? std::optional(identity.value())
                                                    : std::nullopt;
}

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
    const win::result<std::vector<win::folder_entry>> entries = win::list_folder(listed);
    if (!entries) {
        const std::uint32_t error = entries.error().code;
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? L"no file matches"
                   : L"the folder cannot be listed. " + error_code_text(error);
    }
    // The listing's file indexes spare asking each of a fleet's thousands of
    // files for its id (under Wine, a round trip to the mount manager each).
    const std::optional<std::uint64_t> volume = indexed_volume(listed);
    const std::wstring pattern =
        win::file_name_key(std::wstring_view(argument).substr(folder_end));
    for (const win::folder_entry& entry : entries.value()) {
        if (!entry.is_folder() && matches_wildcard(pattern, win::file_name_key(entry.name))) {
            // A link's own index is not its target's.
            const file_identity identity{volume.value_or(0), 0, entry.file_index};
            const bool known = volume && is_certain(identity) &&
                               (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
            files.push_back({folder + entry.name, known ? std::optional(identity) : std::nullopt});
        }
    }
    return files.empty() ? L"no file matches" : std::wstring();
}

}  // namespace pelmar::compare
