#include "signature_run.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com_initializer.h"
#include "console_output.h"
#include "failure_line.h"
#include "location_cache.h"
#include "manifest_rows.h"
#include "missing_text.h"
#include "signature_checker.h"
#include "signature_table.h"
#include "win32_exception.h"

namespace {

constexpr int exit_trouble = 2;

constexpr std::wstring_view usage_line = L"usage: pelmar_omni_signatures [--signer NAME]...\n";

constexpr std::wstring_view help_text =
    L"\n"
    L"Checks that each file of the Pelmar Omni printer driver found on this machine\n"
    L"is still signed by its publisher and unaltered since: through its own\n"
    L"Authenticode signature, the package's pelmaromn.cat beside it, or the\n"
    L"system's catalogs. Nothing is downloaded: revocation is not checked.\n"
    L"\n"
    L"Options:\n"
    L"  --signer NAME  a signer to accept: the simple display name of the signing\n"
    L"                 certificate, compared exactly. Repeat it to accept several.\n"
    L"                 Without it, any valid signature counts.\n"
    L"  --help, /?     show this text.\n"
    L"\n"
    L"Each file found gets one row: STATUS, SIGNER, FILENAME, DETAIL, DIRECTORY.\n"
    L"The last line counts the files by status. Statuses:\n"
    L"  signed        a valid embedded Authenticode signature\n"
    L"  catalog       the file's hash is listed in a validly signed catalog, named\n"
    L"                in DETAIL\n"
    L"  unsigned      neither\n"
    L"  altered       a signature or catalog entry covers the file, but the file's\n"
    L"                hash no longer matches it\n"
    L"  invalid       the signature fails for another reason, given in DETAIL\n"
    L"  unreadable    the file exists but could not be opened or read\n"
    L"  other signer  a valid signature, by none of the --signer names\n"
    L"\n"
    L"Exit codes:\n"
    L"  0  every file found is signed or catalog, and at least one was found\n"
    L"  1  any other status, or no file of the driver was found\n"
    L"  2  a file was unreadable, or the check could not run (a line on standard\n"
    L"     error says why); 2 wins over 1\n";

struct options {
    bool help = false;
    std::vector<std::wstring> signers;
};

// The options, or the text of what is wrong with them.
bool parse(std::span<const wchar_t* const> arguments, options& parsed, std::wstring& problem) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::wstring_view argument = arguments[index];
        if (argument == L"--help" || argument == L"/?") {
            parsed.help = true;
        } else if (argument == L"--signer") {
            if (index + 1 == arguments.size()) {
                problem = L"--signer needs a name";
                return false;
            }
            parsed.signers.emplace_back(arguments[++index]);
        } else {
            problem = L"unknown option: " + std::wstring(argument);
            return false;
        }
    }
    return true;
}

// A result that did not reach its reader in full is no success.
void flush_all(std::wostream& out) {
    out.flush();
    if (!out) {
        throw output_exception(write_error_code(out));
    }
}

int check_files(std::vector<std::wstring> signers, std::wostream& out) {
    const com_initializer com;
    signature_checker checker(std::move(signers));
    status_tally tally;
    print_signature_header(out) << L'\n';
    for (const manifest_row& row : manifest_rows()) {
        const std::wstring directory =
            location_directory(static_cast<std::int32_t>(row.location));
        if (directory == missing_text(row.location)) {
            continue;
        }
        const std::optional<file_verdict> verdict =
            checker.check(row.location, directory, row.entry->file_name);
        if (verdict) {
            print_signature_row(out, *verdict, row.entry->file_name, directory) << L'\n';
            tally.count(verdict->status);
        }
    }
    out << tally.summary() << L'\n';
    flush_all(out);
    return tally.exit_code();
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
            flush_all(out);
            return 0;
        }
        return check_files(std::move(parsed.signers), out);
    } catch (const std::exception&) {
        print_failure_line(error);
        return exit_trouble;
    }
}
