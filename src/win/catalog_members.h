#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelmar::win {

// One entry of a catalog: the tag the catalog services know it by, the
// object identifier of its digest's algorithm, the digest, and the file's
// name where the catalog names it.
struct catalog_member {
    std::wstring tag;
    std::string algorithm;
    std::vector<unsigned char> digest;
    std::wstring file_name;
};

// Why a catalog's bytes are no catalog as the signing tools write one.
enum class catalog_fault {
    undecodable,  // the decoder refused them: `code` says why
    signs_something_else,
    other_trust_list,
    tag_not_text,
    attribute_values,
    attribute_unreadable,
    two_digests,
    two_file_names,
    file_name_not_text,
    no_digest,
    tag_twice,
};
struct catalog_problem {
    catalog_fault fault;
    std::uint32_t code = 0;
};

// Reads the members of a catalog from its bytes, the certificate trust list
// that it signs, with the file names that Wine's catalog services do not
// give. Only for bytes whose signature was verified first, yet it trusts
// nothing in them: an entry that is not as the signing tools write it makes
// the whole catalog unusable.
[[nodiscard]] std::variant<std::vector<catalog_member>, catalog_problem> read_catalog_members(
    const std::string& bytes);

// The member of a catalog's bytes tagged `tag` (letter case aside), read
// alone: a system catalog may list tens of thousands of files, and only one
// of them is asked about. Reads as read_catalog_members does; nothing where
// no entry has the tag.
[[nodiscard]] std::variant<std::optional<catalog_member>, catalog_problem> read_catalog_member(
    const std::string& bytes, const std::wstring& tag);

}  // namespace pelmar::win
