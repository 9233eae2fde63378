#include "console_output.h"
#include "signature_run.h"

int wmain(int argc, wchar_t* argv[]) {
    return run_console_program(argc, argv, pelmar::signatures::run_signatures);
}
