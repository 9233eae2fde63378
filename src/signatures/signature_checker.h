#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog_hasher.h"
#include "file_verdict.h"
#include "install_location.h"
#include "package_catalog.h"
#include "trust_verification.h"

// Judges the files of the driver, one at a time, with what the run acquires
// once: the catalog contexts, and each folder's pelmaromn.cat.
class signature_checker {
public:
    // `signers`: the expected signers' simple display names; empty accepts
    // any valid signature. Throws pelmar::crypto::crypto_exception when the
    // catalog services refuse a context.
    explicit signature_checker(std::vector<std::wstring> signers);

    // The file `file_name` in `directory`, the text of `location`; nothing
    // when the file is absent.
    std::optional<file_verdict> check(install_location location, const std::wstring& directory,
                                      const std::wstring& file_name);

private:
    const package_catalog& package_catalog_in(install_location location,
                                              const std::wstring& directory);
    bool expected(const std::wstring& signer) const;
    // The verdict when the catalog's entry vouches for the file by an
    // expected signer; otherwise nothing, and what it found goes to `gravest`
    // where it is graver than what is there.
    std::optional<file_verdict> judge_listing(const catalog_member_query& query,
                                              file_verdict& gravest) const;

    catalog_hasher hasher_;
    std::map<install_location, package_catalog> catalogs_;
    std::vector<std::wstring> signers_;
};
