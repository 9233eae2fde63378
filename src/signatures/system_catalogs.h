#pragma once

#include <string>

#include "catalog_hasher.h"

// The first catalog in the system's catalog store that lists `hash`, by its
// full path; empty when none does.
std::wstring system_catalog_listing(const catalog_hash& hash);

// The tag by which a catalog of the signing tools lists a member: its hash in
// upper-case hexadecimal.
std::wstring member_tag(const catalog_hash& hash);
