#include "signature_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogs.h"
#include "driver_files.h"
#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "row_writers.h"
#include "signature_checker.h"
#include "signature_help.h"
#include "signature_options.h"
#include "signature_table.h"
#include "unclaimed_files.h"
#include "win32_exception.h"

namespace pelmar::signatures {

namespace {

constexpr int exit_trouble = 2;

[[nodiscard]] int check_files(options& parsed, std::wostream& out) {
    // The other threads need no apartment of their own: while this one
    // holds the multithreaded apartment, they belong to it implicitly.
    const com_initializer com;
    // Every thread's contexts before the table begins: a system that
    // refuses one leaves no table half written.
    std::vector<win::catalog_hasher> hashers;
    for (unsigned worker = 0; worker < worker_count(); ++worker) {
        win::result<win::catalog_hasher> hasher = win::catalog_hasher::acquire();
        if (!hasher) {
            throw pelmar::crypto::crypto_exception(hasher.error().code);
        }
        hashers.push_back(std::move(hasher).value());
    }
    signature_checker checker(std::move(parsed.signers), std::move(parsed.thumbprints));
    status_tally tally;
    const std::unique_ptr<row_writer> writer =
        parsed.format == output_format::csv    ? csv_writer(out)
        : parsed.format == output_format::json ? json_writer(out)
                                               : table_writer(out);
    const auto print_row = [&](const signature_row& row) { writer->row(row); };

    const std::map<install_location, std::wstring> directories =
        check_driver_files(checker, hashers, print_row, tally);
    unclaimed_tally unclaimed;
    check_unclaimed_files(checker, hashers.front(), directories, print_row, unclaimed);
    const int exit_code = std::max(tally.exit_code(), unclaimed.exit_code());
    writer->summary(tally.summary() + L"; " + unclaimed.summary(), exit_code);
    flush_all_or_throw(out);
    return exit_code;
}

}  // namespace

int run_signatures(std::span<const wchar_t* const> arguments, std::wostream& out,
                   std::wostream& error) {
    options parsed;
    std::wstring problem;
    if (!parse_options(arguments, parsed, problem)) {
        error << problem << L'\n' << usage_line;
        return exit_trouble;
    }
    try {
        if (parsed.help) {
            out << usage_line << help_text;
            flush_all_or_throw(out);
            return 0;
        }
        return check_files(parsed, out);
    } catch (const std::exception&) {
        print_failure_line(error);
        return exit_trouble;
    }
}

}  // namespace pelmar::signatures
