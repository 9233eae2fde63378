#include "row_writers.h"

#include <cstdio>
#include <optional>

#include "console_output.h"
#include "file.h"
#include "file_hash.h"
#include "folder_listing.h"
#include "json_line.h"
#include "printable_name.h"
#include "signature_table.h"

namespace pelmar::signatures {

namespace {

class table : public row_writer {
public:
    explicit table(std::wostream& out) : out_(out) { print_signature_header(out_) << L'\n'; }

    void row(const signature_row& row) override {
        print_signature_row(out_, row.verdict, printable_name(row.file), std::wstring(row.folder))
            << L'\n';
    }

    void summary(const std::wstring& text, int) override { out_ << text << L'\n'; }

private:
    std::wostream& out_;
};

class csv : public row_writer {
public:
    explicit csv(std::wostream& out) : out_(out) { print_signature_csv_header(out_); }

    void row(const signature_row& row) override {
        print_signature_csv_row(out_, row.verdict, printable_name(row.file),
                                std::wstring(row.folder), kind_text(row.kind));
    }

    void summary(const std::wstring&, int) override {}

private:
    std::wostream& out_;
};

// The SHA-256 of the file at `path` in lower-case hex, where it can be read.
std::optional<std::wstring> sha256_text(const std::wstring& path) {
    // As the walk opens it: a trailing dot or space kept, COM3.dll a file.
    const std::wstring verbatim = win::verbatim_path(path);
    const win::result<unique_file_handle> opened =
        win::open_to_read(verbatim.empty() ? path : verbatim);
    if (!opened) {
        return std::nullopt;
    }
    const win::result<win::sha256_digest> digest = win::sha256_of(opened.value().get());
    if (!digest) {
        return std::nullopt;
    }
    std::wstring text;
    for (const unsigned char byte : digest.value()) {
        wchar_t pair[3];
        std::swprintf(pair, 3, L"%02x", byte);
        text += pair;
    }
    return text;
}

std::optional<std::wstring_view> or_null(const std::wstring& text) {
    return text.empty() ? std::nullopt : std::optional<std::wstring_view>(text);
}

class json : public row_writer {
public:
    explicit json(std::wostream& out) : out_(out) { keep_line_feeds(out_); }

    void row(const signature_row& row) override {
        // Hashed where the row is written: only --json asks for it, and only
        // of the files that get a row.
        const std::optional<std::wstring> sha256 =
            row.path ? sha256_text(*row.path) : std::nullopt;
        json_line()
            .text("status", status_text(row.verdict.status))
            .text_or_null("signer", or_null(row.verdict.signer))
            .text("file", row.file)
            .text_or_null("detail", or_null(detail_text(row.verdict)))
            .text("folder", row.folder)
            .text("kind", kind_text(row.kind))
            .text_or_null("sha256", sha256 ? std::optional<std::wstring_view>(*sha256)
                                           : std::nullopt)
            .text_or_null("claim", row.claim.empty() ? std::nullopt
                                                     : std::optional<std::wstring_view>(row.claim))
            .write(out_);
    }

    void summary(const std::wstring& text, int exit_code) override {
        json_line()
            .text("summary", text)
            .number("exit_code", static_cast<std::uint64_t>(exit_code))
            .write(out_);
    }

private:
    std::wostream& out_;
};

}  // namespace

std::unique_ptr<row_writer> table_writer(std::wostream& out) {
    return std::make_unique<table>(out);
}

std::unique_ptr<row_writer> csv_writer(std::wostream& out) {
    return std::make_unique<csv>(out);
}

std::unique_ptr<row_writer> json_writer(std::wostream& out) {
    return std::make_unique<json>(out);
}

}  // namespace pelmar::signatures
