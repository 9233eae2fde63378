#pragma once

#include <string>
#include <vector>

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
std::wstring read_catalog_members(const std::string& bytes, std::vector<catalog_member>& members);
