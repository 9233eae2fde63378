#include "signature_run.h"

#include <algorithm>
#include <cwchar>
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

#include "catalog_hasher.h"
#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "location_cache.h"
#include "location_resolver.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "row_writers.h"
#include "signature_checker.h"
#include "signature_table.h"
#include "spooler_queries.h"
#include "unclaimed_files.h"
#include "win32_exception.h"

namespace pelmar::signatures {

namespace {

constexpr int exit_trouble = 2;

// A location as `resolve` finds it, asked again where a driver was installed
// between the two calls of the spooler's listing: the location cache keeps
// no resolution that failed.
template <typename resolver>
std::wstring resolved_while_growing(const resolver& resolve) {
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

constexpr std::wstring_view usage_line =
    L"usage: pelmar_omni_signatures [--csv | --json] [--signer NAME]... [--thumbprint HEX]...\n";

constexpr std::wstring_view help_text =
    L"\n"
    L"Checks that each file of the Pelmar Omni printer driver found on this machine\n"
    L"is still signed by its publisher and unaltered since: through its own\n"
    L"Authenticode signature, the package's pelmaromn.cat beside it (for the\n"
    L"printer driver folder, the installed driver package's), or the system's\n"
    L"catalogs. Nothing is downloaded: revocation is not checked.\n"
    L"Then it walks the spooler's folders, every environment's drivers and print\n"
    L"processors, and the driver's other folders: each executable image is\n"
    L"verified, and each file that nothing installed accounts for is listed, as\n"
    L"is each alternate data stream that holds an image (FILE:STREAM).\n"
    L"Then each library that the registry names for the spooler to load (port\n"
    L"and language monitors, print providers, print processors, printers'\n"
    L"CopyFiles modules) is verified wherever it lies, and printers, ports and\n"
    L"Point and Print settings that let others add to it are listed.\n"
    L"\n"
    L"Options:\n"
    L"  --signer NAME  a signer to accept: the simple display name of the signing\n"
    L"                 certificate, compared exactly. Repeat it to accept several.\n"
    L"                 Without it, any valid signature counts for the driver's\n"
    L"                 own files. A claimed image is silent where a catalog of\n"
    L"                 the system's lists it under its own name, or where it is\n"
    L"                 signed by \"Microsoft Windows\" or a signer named here; an\n"
    L"                 unclaimed image only where a signer named here signed it\n"
    L"                 (a catalog of the system's, whoever signed it, speaks for\n"
    L"                 every vendor, not for a file no driver names).\n"
    L"  --thumbprint HEX  a certificate that an accepted signature's chain must\n"
    L"                 hold: its SHA-1 or SHA-256 thumbprint, letter case and spaces\n"
    L"                 aside. Repeat it to accept several. Read it from a trusted\n"
    L"                 file: Properties, Digital Signatures, Details, View\n"
    L"                 Certificate, Details (or Certification Path for the CA above\n"
    L"                 it), Thumbprint; or in PowerShell:\n"
    L"                 (Get-AuthenticodeSignature FILE).SignerCertificate.Thumbprint\n"
    L"                 With --signer too, a signature must satisfy both.\n"
    L"  --csv          write CSV instead: UTF-8 with a byte order mark, the header\n"
    L"                 status,signer,file,detail,folder,kind (kind: driver,\n"
    L"                 claimed, unclaimed, registered or setting), no summary line.\n"
    L"  --json         write JSON Lines instead: UTF-8, one object per row with\n"
    L"                 the CSV's fields, the file's sha256 and what claims it,\n"
    L"                 then one with the summary and the exit code.\n"
    L"  --help, /?     show this text.\n"
    L"\n"
    L"Each file found gets one row: STATUS, SIGNER, FILENAME, DETAIL, DIRECTORY.\n"
    L"Then each unclaimed file gets one, its DETAIL starting with \"named by no\n"
    L"installed driver\", its FILENAME the path below DIRECTORY; a link or\n"
    L"junction is not followed. A file that a driver, a print processor or\n"
    L"Windows accounts for gets one only where it is an executable image that\n"
    L"Windows did not install: no catalog of the system's lists it under its\n"
    L"own name, and it is not signed by \"Microsoft Windows\" or a signer named\n"
    L"with --signer or --thumbprint. Its DETAIL says who claims it, its SIGNER\n"
    L"who signed it. A library that the registry names gets one by the same\n"
    L"rule, or where it is missing: its FILENAME its path, its DETAIL the\n"
    L"value that names it, its DIRECTORY the key; so do a printer's spool\n"
    L"folder among the drivers' or in System32, a port that prints into a\n"
    L"system folder's or an executable file, and a key that cannot be read.\n"
    L"Each exposed setting gets one too. The last line counts the files by\n"
    L"status.\n"
    L"Statuses:\n"
    L"  signed        a valid embedded Authenticode signature\n"
    L"  catalog       the file's hash is listed in a validly signed catalog, named\n"
    L"                in DETAIL, under the file's own name\n"
    L"  unsigned      neither\n"
    L"  altered       a signature or catalog entry covers the file, but the file's\n"
    L"                hash no longer matches it\n"
    L"  replaced      validly signed, but not the product's build (an older or\n"
    L"                another file put in its place): not the build pelmaromn.cat\n"
    L"                lists for it, a file a system catalog lists under another\n"
    L"                name, or a build for another architecture than its driver\n"
    L"                folder's\n"
    L"  invalid       the signature fails for another reason, given in DETAIL\n"
    L"  other signer  a valid signature, but by none of the --signer names or\n"
    L"                with none of the --thumbprint certificates (for a claimed\n"
    L"                image, nor by \"Microsoft Windows\")\n"
    L"  unreadable    the file exists but could not be opened or read\n"
    L"  unchecked     the check could not finish for the file: why in DETAIL\n"
    L"  missing       a library the registry names is not there\n"
    L"  exposed       a setting that lets others add to what the spooler loads,\n"
    L"                or reach it: the value, what it allows and Microsoft's article\n"
    L"\n"
    L"Exit codes:\n"
    L"  0  every file found is signed or catalog, and at least one was found\n"
    L"  1  any other status, or no file of the driver was found, or an unclaimed\n"
    L"     executable image (whatever its name) or link, or a claimed or\n"
    L"     registered image that Windows did not install, or a registered spool\n"
    L"     folder or port; with --signer or --thumbprint, an unclaimed image\n"
    L"     signed as they ask does not count; missing libraries and exposed\n"
    L"     settings do not count\n"
    L"  2  a file was unreadable or unchecked, a folder could not be listed, a\n"
    L"     registry key could not be read, or the check could not run (a line on\n"
    L"     standard error says why); 2 wins over 1\n";

enum class output_format { table, csv, json };

struct options {
    bool help = false;
    output_format format = output_format::table;
    std::vector<std::wstring> signers;
    std::vector<std::vector<unsigned char>> thumbprints;
};

// A thumbprint as the Certificates console shows it: hex digits, in pairs or
// not, in either letter case. A copy from the console may begin with an
// invisible left-to-right mark, which is left out too. Empty unless it
// is 20 or 32 bytes long.
[[nodiscard]] std::vector<unsigned char> thumbprint_of(std::wstring_view text) {
    std::wstring digits;
    for (const wchar_t character : text) {
        if (character != L' ' && character != L'\x200E') {
            digits += character;
        }
    }
    std::vector<unsigned char> thumbprint;
    if ((digits.size() != 40 && digits.size() != 64) ||
        digits.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) {
        return thumbprint;
    }
    for (std::size_t index = 0; index < digits.size(); index += 2) {
        const std::wstring pair = digits.substr(index, 2);
        thumbprint.push_back(static_cast<unsigned char>(std::wcstoul(pair.c_str(), nullptr, 16)));
    }
    return thumbprint;
}

// The options, or the text of what is wrong with them.
[[nodiscard]] bool parse(std::span<const wchar_t* const> arguments, options& parsed,
                         std::wstring& problem) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::wstring_view argument = arguments[index];
        if (argument == L"--help" || argument == L"/?") {
            parsed.help = true;
        } else if (argument == L"--csv" || argument == L"--json") {
            const output_format asked =
                argument == L"--csv" ? output_format::csv : output_format::json;
            if (parsed.format != output_format::table && parsed.format != asked) {
                problem = L"--csv and --json exclude each other";
                return false;
            }
            parsed.format = asked;
        } else if (argument == L"--signer") {
            if (index + 1 == arguments.size()) {
                problem = L"--signer needs a name";
                return false;
            }
            parsed.signers.emplace_back(arguments[++index]);
        } else if (argument == L"--thumbprint") {
            std::vector<unsigned char> thumbprint;
            if (index + 1 < arguments.size()) {
                thumbprint = thumbprint_of(arguments[++index]);
            }
            if (thumbprint.empty()) {
                problem = L"--thumbprint needs 40 or 64 hex digits";
                return false;
            }
            parsed.thumbprints.push_back(std::move(thumbprint));
        } else {
            problem = L"unknown option: " + std::wstring(argument);
            return false;
        }
    }
    return true;
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
                                                  const std::vector<catalog_hasher>& hashers,
                                                  const std::vector<file_to_check>& files) {
    std::vector<checked_file> checked(files.size());
    std::atomic<std::size_t> next_row{0};
    // Each row is written by the one thread that took it, and read only
    // after every thread is joined.
    const auto work = [&](const catalog_hasher& hasher) {
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
    const std::vector<catalog_hasher> hashers(
        std::clamp(std::thread::hardware_concurrency(), 1u, most_workers));
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
    std::map<install_location, std::wstring> directories;
    std::exception_ptr unresolved;
    try {
        // The printer driver folder is the one of this program's own
        // environment, whose copies the spooler loads; the inventory takes
        // the first of any environment.
        std::optional<std::wstring> native_driver_folder;
        for (const manifest_row& row : manifest_rows()) {
            if (row.location == printer_driver_directory && !native_driver_folder) {
                native_driver_folder =
                    resolved_while_growing(resolve_native_printer_driver_directory);
            }
            std::wstring directory =
                row.location == printer_driver_directory
                    ? *native_driver_folder
                    : resolved_while_growing([&] {
                          return location_directory(static_cast<std::int32_t>(row.location));
                      });
            directories.emplace(row.location, directory);
            if (directory == missing_text(row.location)) {
                continue;
            }
            checker.read_package_catalog(row.location, directory);
            files.push_back({&row, std::move(directory)});
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
    if (!parse(arguments, parsed, problem)) {
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
