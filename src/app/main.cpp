#include "console_output.h"
#include "entry_point.h"

// The program has no options: its arguments are ignored.
int wmain(int, wchar_t*[]) {
    const console_streams streams;
    return run_inventory();
}
