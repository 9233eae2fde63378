#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "file_verdict.h"

namespace pelmar::signatures {

// What a row is of: a driver file where the manifest looks for it, a file
// that an installed driver, print processor or Windows accounts for, one
// that nothing accounts for, a library or registration of the spooler's in
// the registry, or a setting.
enum class row_kind { driver, claimed, unclaimed, registered, setting };
constexpr std::size_t row_kind_count = 5;

// The kind as the CSV's and JSON's `kind` field spells it.
constexpr std::wstring_view kind_text(row_kind kind) {
    constexpr std::array<std::wstring_view, row_kind_count> texts{
        L"driver", L"claimed", L"unclaimed", L"registered", L"setting"};
    return texts[static_cast<std::size_t>(kind)];
}

// One row of the check, as every writer gets it: the names as found,
// each writer showing them its own way.
struct signature_row {
    const file_verdict& verdict;
    // The manifest's file name, or the path below `folder` as listed.
    std::wstring_view file;
    // As the driver rows show it: a location's text, a spooler folder, or an
    // environment's name where the spooler gives none.
    std::wstring_view folder;
    row_kind kind;
    // The file whose bytes the verdict is of; none for a row of a folder, a
    // link or an environment.
    std::optional<std::wstring> path;
    // What accounts for a claimed file, or the registry value that names a
    // registered library (its DETAIL begins with it), for readers that match
    // on it; empty for other rows.
    std::wstring_view claim;
};

// Writes a row.
using row_printer = std::function<void(const signature_row&)>;

}  // namespace pelmar::signatures
