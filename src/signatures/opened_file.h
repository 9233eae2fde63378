#pragma once

#include <optional>
#include <string>

#include "file_verdict.h"
#include "folder_listing.h"
#include "unique_file_handle.h"
#include "win32_error.h"

namespace pelmar::signatures {

// A file opened for the check, or why it could not be: it is absent, or it
// exists but could not be opened or read, or is no file on a disk.
class opened_file {
public:
    // Opens for reading while others may read and delete the file, and
    // write it where `others_may_write` (a driver's files are in use), and
    // reads its first bytes.
    explicit opened_file(const std::wstring& path, bool others_may_write = true);
    // The file `entry` of the listing of the open folder `listed`, at
    // `path`, opened as the very file listed (open_listed); absent when it
    // was deleted since.
    opened_file(HANDLE listed, const std::wstring& path, const win::folder_entry& entry);

    [[nodiscard]] bool absent() const { return failure_ && failure_->why == why_not::absent; }
    [[nodiscard]] bool readable() const { return !failure_; }
    // Why a file that is not readable cannot be checked, as its row says it.
    [[nodiscard]] reason problem() const;
    HANDLE handle() const { return file_.get(); }

private:
    enum class why_not { absent, folder, not_on_disk, unreadable };
    struct failure {
        why_not why;
        win::win32_error error{};  // of an absent or unreadable file
    };

    // An absent or unreadable file, as a call that failed with `error` says.
    static failure failed_with(win::win32_error error);
    // Keeps why the file cannot be checked, and lets it go.
    void fail(failure failed);
    // Whether the file opened is one to check, and its bytes can be read.
    void read_start();

    std::optional<failure> failure_;
    unique_file_handle file_;
};

}  // namespace pelmar::signatures
