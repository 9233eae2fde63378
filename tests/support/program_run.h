#pragma once

#include <sstream>
#include <string>
#include <vector>

// What one run of a program's run function returned and wrote.
struct run_result {
    int exit_code;
    std::wstring out;
    std::wstring error;
};

// Runs `program`, a program's run function (arguments, standard output,
// standard error; the exit code), on `arguments`.
template <typename program_function>
run_result run_program(program_function program, const std::vector<const wchar_t*>& arguments) {
    std::wostringstream out;
    std::wostringstream error;
    const int exit_code = program(arguments, out, error);
    return {exit_code, out.str(), error.str()};
}
