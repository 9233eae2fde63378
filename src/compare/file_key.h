#pragma once

#include <string>

// A file named twice, by another spelling of its path or again inside a
// pattern's matches, is recognised by its full path without regard to case,
// which Windows works out from the name alone, without touching the disk.

// The full path of `name`; empty, with the last error set, when it has none.
std::wstring full_path(const std::wstring& name);

// Orders full paths ordinally without regard to case, as Windows matches names.
struct ignoring_case_less {
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};
