#include "entry_point.h"

#include <iostream>

#include "banner.h"
#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "file_manifest.h"
#include "report_writer.h"
#include "win32_exception.h"

int run_inventory() {
    int exit_code = 1;
    try {
        // Inside the guarded region only so that exhausted memory while
        // writing the banner is reported like any later failure.
        print_banner(std::wcerr);
        const com_initializer com;
        print_report(file_manifest.data(), file_manifest.data() + file_manifest.size(),
                     std::wcout);
        if (const std::uint32_t error_code = flush_all(std::wcout)) {
            throw output_exception(error_code);
        }
        exit_code = 0;
    } catch (const std::exception&) {
        print_failure_line(std::wcerr);
    }
    return exit_code;
}
