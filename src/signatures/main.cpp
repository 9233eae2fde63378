#include <iostream>
#include <span>

#include "console_output.h"
#include "signature_run.h"

int wmain(int argc, wchar_t* argv[]) {
    const console_streams streams;
    const std::span<const wchar_t* const> arguments(argv, static_cast<std::size_t>(argc));
    return pelmar::signatures::run_signatures(arguments.subspan(arguments.empty() ? 0 : 1),
                                              std::wcout, std::wcerr);
}
