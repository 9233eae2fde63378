#pragma once

#include <cstdint>

#include <windows.h>

namespace pelmar::win {

// A Windows call that failed: its error code and the call's name. The
// platform layer's calls return it as a value; text is made only where a
// row or a failure line is written, from the code alone.
struct win32_error {
    std::uint32_t code;
    const char* call;
};

// The error of `call`, which has just failed and set the last error.
[[nodiscard]] inline win32_error last_error(const char* call) {
    return {GetLastError(), call};
}

}  // namespace pelmar::win
