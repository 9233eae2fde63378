#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalogs.h"
#include "claim_trust.h"
#include "file_facts.h"
#include "file_verdict.h"
#include "install_location.h"
#include "package_catalog.h"
#include "trust.h"
#include "verdict_policy.h"

namespace pelmar::signatures {

// Judges files: gathers what the rules (verdict_policy) ask of each, from
// its facts (file_facts), the package catalogs the run reads once (each
// folder's pelmaromn.cat) and the system's catalog store. Once the catalogs
// are read it changes no more, so several threads may check files at once,
// each with catalog contexts of its own.
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
    [[nodiscard]] std::optional<file_verdict> check(const win::catalog_hasher& hasher,
                                                    install_location location,
                                                    const std::wstring& directory,
                                                    const std::wstring& file_name) const;

    // The file of `facts`, readable, whose name is `file_name`, judged with
    // the package catalog that judges the files of `location` where one is
    // given.
    [[nodiscard]] file_verdict check_open(std::optional<install_location> location,
                                          const std::wstring& file_name, file_facts& facts) const;

    // The executable image of `facts`, readable, which Windows' records
    // claim under the name `installed_name`, judged by the claim rule
    // (trusted_image): nothing where it may stay silent, else its row's
    // verdict, which says who signed it.
    [[nodiscard]] std::optional<file_verdict> check_claimed(const std::wstring& installed_name,
                                                            file_facts& facts) const;

    // The signers the user named.
    [[nodiscard]] const named_signers& named() const { return named_; }

    // Whether the package catalog that judges the files of `location`,
    // validly signed by an expected signer, lists the file of `facts` under
    // its name `file_name`, with its hash by the entry's algorithm.
    [[nodiscard]] bool listed_in_package(install_location location, const std::wstring& file_name,
                                         file_facts& facts) const;

private:
    [[nodiscard]] bool expected(const win::trust_result& signature) const;
    // The package catalog whose members the files of `location` must be:
    // the installed package's for the printer driver folder, where it is
    // signed by an expected signer; otherwise the one beside them.
    const package_catalog& judging_catalog(install_location location) const;
    // check() without the note on a missing package catalog.
    [[nodiscard]] std::optional<file_verdict> judge_file(const win::catalog_hasher& hasher,
                                                         install_location location,
                                                         const std::wstring& directory,
                                                         const std::wstring& file_name) const;
    // What the package catalog that judges the files of `location` says of
    // the file `file_name`, read as `file`.
    [[nodiscard]] package_fact package_fact_of(install_location location,
                                               const std::wstring& file_name,
                                               file_facts& file) const;
    // `judge`'s judgement of `facts`, with as much of the system's store as it
    // asks for, searched by `file`'s hashes. `listed_name`: the name a
    // catalog must list the file by, read where it is not empty.
    template <typename facts_type, typename judge_type>
    [[nodiscard]] auto judge_with_store(facts_type& facts, file_facts& file,
                                        const std::wstring& listed_name,
                                        const judge_type& judge) const;
    // What `catalog`, which lists `hash` under `tag`, says of the file.
    [[nodiscard]] store_listing listing_of(const std::wstring& catalog, const std::wstring& tag,
                                           file_facts& file, const win::catalog_hash& hash,
                                           const std::wstring& listed_name) const;

    std::map<install_location, package_catalog> catalogs_;
    named_signers named_;
};

}  // namespace pelmar::signatures
