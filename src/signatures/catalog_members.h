#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// One entry of a catalog: the tag the catalog services know it by, the hash
// it lists, and the file's name where the catalog names it.
struct catalog_member {
    std::wstring tag;
    std::vector<unsigned char> digest;
    std::wstring file_name;
};

// Reads the members of the open catalog file from the certificate trust list
// that it signs, with the file names that the catalog services of Wine do
// not give. Only for a catalog whose signature was verified first. Returns
// the Windows error code of the step that failed, or 0.
std::uint32_t read_catalog_members(HANDLE file, std::vector<catalog_member>& members);
