#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelmar::signatures {

// One entry of a catalog: the tag the catalog services know it by, the
// object identifier of its digest's algorithm, the digest, and the file's
// name where the catalog names it.
struct catalog_member {
    std::wstring tag;
    std::string algorithm;
    std::vector<unsigned char> digest;
    std::wstring file_name;
};

// Reads the members of a catalog from its bytes, the certificate trust list
// that it signs, with the file names that Wine's catalog services do not
// give. Only for bytes whose signature was verified first, yet it trusts
// nothing in them: an entry that is not as the signing tools write it makes
// the whole catalog unusable. Returns why, in words, or nothing.
[[nodiscard]] std::wstring read_catalog_members(const std::string& bytes,
                                               std::vector<catalog_member>& members);

// The member of a catalog's bytes tagged `tag` (letter case aside), read
// alone: a system catalog may list tens of thousands of files, and only one
// of them is asked about. Reads as read_catalog_members does, for bytes
// whose signature was verified first. `member` stays empty where no entry
// has the tag. Returns why the catalog cannot be read, in words, or nothing.
[[nodiscard]] std::wstring read_catalog_member(const std::string& bytes, const std::wstring& tag,
                                               std::optional<catalog_member>& member);

}  // namespace pelmar::signatures
