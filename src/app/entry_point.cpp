#include "entry_point.h"

#include <iostream>

#include "banner.h"
#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "file_manifest.h"
#include "report_writer.h"

int run_inventory() {
    int exit_code = 1;
    try {
        // Inside the guarded region only so that exhausted memory while
        // writing the banner is reported like any later failure.
        print_banner(std::wcerr);
        const com_initializer com;
        print_report(file_manifest.data(), file_manifest.data() + file_manifest.size(),
                     std::wcout);
        flush_all_or_throw(std::wcout);
        exit_code = 0;
    } catch (const std::exception&) {
        print_failure_line(std::wcerr);
    }
    return exit_code;
}
