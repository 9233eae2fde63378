#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// cmd.exe hands wildcards to the program unexpanded, so it expands them
// itself. Only an argument's last component may hold them.
bool has_wildcards(std::wstring_view argument);

// The argument's folder exactly as typed: everything up to and including its
// last backslash, slash or drive colon; empty when it has none.
std::wstring_view folder_part(std::wstring_view argument);

// The names of the files, not folders, that one pattern matches, in ordinal
// order without regard to case. Reused from pattern to pattern, and compact:
// a fleet's folder can hold many thousands of reports.
class matching_files {
public:
    // Lists the matches of `pattern`. Returns 0, also when nothing matches or
    // the folder does not exist, or the Windows error code of a failed listing.
    std::uint32_t find(const std::wstring& pattern);

    std::size_t size() const { return order_.size(); }
    std::wstring_view name(std::size_t index) const;

private:
    std::wstring_view stored(std::uint32_t start) const;

    std::wstring names_;                // each name followed by a NUL
    std::vector<std::uint32_t> order_;  // where each name starts, sorted
};
