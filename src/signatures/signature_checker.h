#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog_hasher.h"
#include "claim_trust.h"
#include "file_verdict.h"
#include "install_location.h"
#include "opened_file.h"
#include "package_catalog.h"
#include "trust_verification.h"

namespace pelmar::signatures {

// Judges the files of the driver with what the run reads once: each
// folder's pelmaromn.cat. Once the catalogs are read it changes no more, so
// several threads may check files at once, each with catalog contexts of its
// own.
class signature_checker {
public:
    // `signers`: the expected signers' simple display names; `thumbprints`:
    // SHA-1 or SHA-256 thumbprints of which an expected signature's chain
    // holds one. Each empty accepts any valid signature.
    explicit signature_checker(std::vector<std::wstring> signers,
                               std::vector<std::vector<unsigned char>> thumbprints = {});

    // Reads the package catalog in `directory`, the text of `location`:
    // once per folder, before any file in it is checked, on one thread.
    void read_package_catalog(install_location location, const std::wstring& directory);

    // The file `file_name` in `directory`, the text of `location`, hashed
    // with `hasher`, the calling thread's own; nothing when the file is
    // absent. A manifest file where the manifest looks for it (a driver
    // file) is vouched for by a catalog only under its own name, and in the
    // printer driver folder only as a build for that folder's architecture;
    // there the installed package's catalog judges it, where it is signed
    // by an expected signer.
    [[nodiscard]] std::optional<file_verdict> check(const catalog_hasher& hasher,
                                                    install_location location,
                                                    const std::wstring& directory,
                                                    const std::wstring& file_name) const;

    // The open `file` at `path`, whose name is `file_name`, judged with the
    // package catalog that judges the files of `location` where one is given.
    [[nodiscard]] file_verdict check_open(const catalog_hasher& hasher,
                                          std::optional<install_location> location,
                                          const std::wstring& path,
                                          const std::wstring& file_name,
                                          const opened_file& file) const;

    // The executable image open as `file` at `path`, which Windows' records
    // claim under the name `installed_name`, judged by the claim rule
    // (trusted_image): nothing where it may stay silent, else its row's
    // verdict, which says who signed it.
    [[nodiscard]] std::optional<file_verdict> check_claimed(const catalog_hasher& hasher,
                                                            const std::wstring& path,
                                                            const std::wstring& installed_name,
                                                            const opened_file& file) const;

    // The signers the user named.
    [[nodiscard]] const named_signers& named() const { return named_; }

    // Whether the package catalog that judges the files of `location`,
    // validly signed by an expected signer, lists the open file under its
    // name `file_name`, with its hash by the entry's algorithm.
    [[nodiscard]] bool listed_in_package(const catalog_hasher& hasher, install_location location,
                                         const std::wstring& file_name, HANDLE file) const;

private:
    [[nodiscard]] bool expected(const trust_result& signature) const;
    // The package catalog whose members the files of `location` must be:
    // the installed package's for the printer driver folder, where it is
    // signed by an expected signer; otherwise the one beside them.
    const package_catalog& judging_catalog(install_location location) const;
    // check() without the note on a missing package catalog.
    [[nodiscard]] std::optional<file_verdict> judge_file(const catalog_hasher& hasher,
                                                         install_location location,
                                                         const std::wstring& directory,
                                                         const std::wstring& file_name) const;
    // The verdict when the catalog's entry vouches for the file by an
    // expected signer, under `listed_name` where it is not empty; otherwise
    // nothing, and what it found goes to `gravest` where it is graver than
    // what is there. `any_signer`: a valid signature by anyone vouches.
    [[nodiscard]] std::optional<file_verdict> judge_listing(const catalog_member_query& query,
                                                            const std::wstring& listed_name,
                                                            bool any_signer,
                                                            file_verdict& gravest) const;
    // Each catalog of the system's store that lists `hash`, in turn, until
    // one vouches (its verdict); nothing when none does; `unchecked` when
    // the store could not be searched.
    [[nodiscard]] std::optional<file_verdict> judge_system_catalogs(
        const catalog_hash& hash, const std::wstring& path, HANDLE file,
        const std::wstring& listed_name, bool any_signer, file_verdict& gravest) const;

    std::map<install_location, package_catalog> catalogs_;
    named_signers named_;
};

}  // namespace pelmar::signatures
