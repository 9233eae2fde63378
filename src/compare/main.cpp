#include <iostream>
#include <span>

#include "compare_run.h"
#include "console_output.h"

int wmain(int argc, wchar_t* argv[]) {
    const console_streams streams;
    const std::span<const wchar_t* const> arguments(argv, static_cast<std::size_t>(argc));
    return pelmar::compare::run_compare(arguments.subspan(arguments.empty() ? 0 : 1), std::wcout,
                                        std::wcerr);
}
