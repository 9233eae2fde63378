#include "compare_run.h"
#include "console_output.h"

int wmain(int argc, wchar_t* argv[]) {
    return run_console_program(argc, argv, pelmar::compare::run_compare);
}
