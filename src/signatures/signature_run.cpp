#include "signature_run.h"

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "catalogs.h"
#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "location_resolver.h"
#include "manifest_rows.h"
#include "row_writers.h"
#include "signature_checker.h"
#include "signature_help.h"
#include "signature_options.h"
#include "signature_table.h"
#include "spooler_queries.h"
#include "unclaimed_files.h"
#include "win32_exception.h"

namespace pelmar::signatures {

namespace {

constexpr int exit_trouble = 2;

// A location as `resolve` finds it, asked again where a driver was installed
// between the two calls of the spooler's listing.
template <typename resolver>
std::optional<std::wstring> resolved_while_growing(const resolver& resolve) {
    for (int tried = 1;; ++tried) {
        try {
            return resolve();
        } catch (const winspool::enum_printer_drivers_exception& failure) {
            if (failure.error_code != ERROR_INSUFFICIENT_BUFFER ||
                tried >= winspool::tries_while_growing) {
                throw;
            }
        }
    }
}

// The most threads that verify files at once. Verification is mostly the
// processor's work and the files are independent, so a thread per processor
// helps; beyond a few, a driver's twenty-odd files gain little more, and
// each thread holds catalog contexts of its own.
constexpr unsigned most_workers = 4;

// A row whose location is resolved, waiting for its verdict.
struct file_to_check {
    const manifest_row* row;
    std::wstring directory;
};

// A row's verdict (nothing for an absent file), or what its check threw, to
// be rethrown on the main thread when the table reaches the row.
struct checked_file {
    std::optional<file_verdict> verdict;
    std::exception_ptr failure;
};

// Checks `files` on one thread per hasher, this one among them, but on no
// more threads than files. Each thread takes the next row nobody took yet,
// so that one large file holds up one thread only. The results are in the
// order of `files`.
[[nodiscard]] std::vector<checked_file> check_all(const signature_checker& checker,
                                                  const std::vector<win::catalog_hasher>& hashers,
                                                  const std::vector<file_to_check>& files) {
    std::vector<checked_file> checked(files.size());
    std::atomic<std::size_t> next_row{0};
    // Each row is written by the one thread that took it, and read only
    // after every thread is joined.
    const auto work = [&](const win::catalog_hasher& hasher) {
        for (std::size_t index = next_row++; index < files.size(); index = next_row++) {
            const file_to_check& file = files[index];
            try {
                checked[index].verdict = checker.check(hasher, file.row->location,
                                                       file.directory, file.row->entry->file_name);
            } catch (...) {
                checked[index].failure = std::current_exception();
            }
        }
    };
    // A std::jthread joins when it is destroyed: also when starting the next
    // one throws, so no thread outlives what it works on.
    std::vector<std::jthread> workers;
    const std::size_t count = std::min(hashers.size(), files.size());
    workers.reserve(count);
    for (std::size_t worker = 1; worker < count; ++worker) {
        workers.emplace_back(work, std::cref(hashers[worker]));
    }
    work(hashers.front());
    workers.clear();  // every row is done once all are joined
    return checked;
}

[[nodiscard]] int check_files(options& parsed, std::wostream& out) {
    // The other threads need no apartment of their own: while this one
    // holds the multithreaded apartment, they belong to it implicitly.
    const com_initializer com;
    // Every thread's contexts before the table begins: a system that
    // refuses one leaves no table half written.
    std::vector<win::catalog_hasher> hashers;
    for (unsigned worker = 0;
         worker < std::clamp(std::thread::hardware_concurrency(), 1u, most_workers); ++worker) {
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

    // Locations and package catalogs on this thread, before any other
    // starts: the location cache is unsynchronised, and the checker changes
    // only while it reads a catalog. A location that cannot be resolved ends
    // the list at its row; the rows before it are still checked and printed
    // before its failure, as when the rows were taken one at a time.
    std::vector<file_to_check> files;
    std::map<install_location, std::optional<std::wstring>> found;
    std::exception_ptr unresolved;
    try {
        for (const manifest_row& row : manifest_rows()) {
            if (!found.contains(row.location)) {
                // The printer driver folder is the one of this program's own
                // environment, whose copies the spooler loads; the inventory
                // takes the first of any environment.
                found[row.location] = resolved_while_growing([&] {
                    return row.location == printer_driver_directory
                               ? find_native_printer_driver_directory()
                               : find_location(row.location);
                });
                if (found[row.location]) {
                    checker.read_package_catalog(row.location, *found[row.location]);
                }
            }
            if (found[row.location]) {
                files.push_back({&row, *found[row.location]});
            }
        }
    } catch (...) {
        unresolved = std::current_exception();
    }

    const std::vector<checked_file> checked = check_all(checker, hashers, files);
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (checked[index].failure) {
            std::rethrow_exception(checked[index].failure);
        }
        if (const std::optional<file_verdict>& verdict = checked[index].verdict) {
            const std::wstring& name = files[index].row->entry->file_name;
            print_row({*verdict, name, files[index].directory, row_kind::driver,
                       files[index].directory + L'\\' + name, {}});
            tally.count(verdict->status);
        }
    }
    if (unresolved) {
        std::rethrow_exception(unresolved);
    }
    unclaimed_tally unclaimed;
    std::map<install_location, std::wstring> directories;
    for (const auto& [location, directory] : found) {
        if (directory) {
            directories.emplace(location, *directory);
        }
    }
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
