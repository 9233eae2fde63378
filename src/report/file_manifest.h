#pragma once

#include <array>

#include "manifest_entry.h"

// The driver product's files, in the order the table lists them.
extern const std::array<manifest_entry, 20> file_manifest;
