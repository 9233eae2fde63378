#include "driver_files.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <thread>

#include <windows.h>

#include "location_resolver.h"
#include "manifest_rows.h"
#include "spooler_queries.h"
#include "win32_exception.h"

namespace pelmar::signatures {

namespace {

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

}  // namespace

unsigned worker_count() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, most_workers);
}

std::map<install_location, std::wstring> check_driver_files(
    signature_checker& checker, const std::vector<win::catalog_hasher>& hashers,
    const row_printer& print, status_tally& tally) {
    // Locations and package catalogs on this thread, before any other
    // starts: the checker changes only while it reads a catalog.
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
            print({*verdict, name, files[index].directory, row_kind::driver,
                   files[index].directory + L'\\' + name, {}});
            tally.count(verdict->status);
        }
    }
    if (unresolved) {
        std::rethrow_exception(unresolved);
    }
    std::map<install_location, std::wstring> directories;
    for (const auto& [location, directory] : found) {
        if (directory) {
            directories.emplace(location, *directory);
        }
    }
    return directories;
}

}  // namespace pelmar::signatures
