#include "entry_point.h"

#include <iostream>

#include "banner.h"
#include "com_initializer.h"
#include "console_output.h"
#include "file_manifest.h"
#include "print_error.h"
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
        // A table that did not reach its reader in full is no success.
        std::wcout.flush();
        if (!std::wcout) {
            throw output_exception(write_error_code(std::wcout));
        }
        exit_code = 0;
    } catch (const pelmar::winspool::print_processor_exception& error) {
        print_error(L"Failed to get print processor directory.", error, std::wcerr);
    } catch (const pelmar::crypto::crypto_exception& error) {
        print_error(L"Cryptographic operation failed.", error, std::wcerr);
    } catch (const com_exception& error) {
        print_error(L"Failed to initialize COM.", error, std::wcerr);
    } catch (const output_exception& error) {
        print_error(L"Failed to write the report to standard output.", error, std::wcerr);
    } catch (const win32_exception& error) {
        print_error(L"An unexpected Windows exception occurred.", error, std::wcerr);
    } catch (const std::exception&) {
        std::wcerr << L"An unexpected C++ standard library exception occurred.\n";
    }
    return exit_code;
}
