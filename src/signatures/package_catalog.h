#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "catalog_members.h"
#include "file_verdict.h"
#include "trust.h"

namespace pelmar::signatures {

// The package's own catalog, pelmaromn.cat, in one folder. It comes from the
// field and may be damaged or hostile: its members are read only once its
// own signature has proven valid, and it is never added to the system's
// catalogs. Read once per run and folder.
// Reads the whole of the catalog open as `file` into `bytes`; or the verdict
// of one that cannot be read, or is larger than any catalog.
[[nodiscard]] std::optional<file_verdict> read_catalog_bytes(HANDLE file, std::string& bytes);

// Why catalog bytes cannot be read as a catalog, as a row gives it.
[[nodiscard]] reason catalog_problem_reason(const win::catalog_problem& problem);

class package_catalog {
public:
    static constexpr const wchar_t* file_name = L"pelmaromn.cat";

    // The most a catalog may hold: a driver package's lists some hundred
    // files in a few hundred KiB.
    static constexpr std::uint64_t most_bytes = 64 << 20;

    // None: it vouches for nothing.
    package_catalog() = default;
    // `directory` as the table shows it; the catalog is `file_name` in it.
    explicit package_catalog(const std::wstring& directory);

    // The catalog's own row: nothing when it is absent.
    [[nodiscard]] const std::optional<file_verdict>& verdict() const { return verdict_; }
    // Whether its members can vouch for files: its signature is valid.
    [[nodiscard]] bool can_vouch() const { return can_vouch_; }
    // Its own signature's verification.
    [[nodiscard]] const win::trust_result& signature() const { return signature_; }

    // The members whose File attribute names `name`, letter case aside: more
    // than one where the package covers several architectures' copies.
    std::vector<const win::catalog_member*> members_named(const std::wstring& name) const;

private:
    std::optional<file_verdict> verdict_;
    bool can_vouch_ = false;
    win::trust_result signature_{};
    std::vector<win::catalog_member> members_;
};

}  // namespace pelmar::signatures
