#pragma once

#include <array>

#include <windows.h>

#include "result.h"

namespace pelmar::win {

using sha256_digest = std::array<unsigned char, 32>;

// The SHA-256 of the whole of the open `file`, read from its start, as
// sha256sum and Get-FileHash give it: what threat intelligence matches.
[[nodiscard]] result<sha256_digest> sha256_of(HANDLE file);

}  // namespace pelmar::win
