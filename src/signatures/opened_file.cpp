#include "opened_file.h"

#include <array>
#include <cstddef>

#include "file.h"

namespace pelmar::signatures {

opened_file::opened_file(const std::wstring& path, bool others_may_write) {
    win::result<unique_file_handle> opened = win::open_to_read_at(path, others_may_write);
    if (!opened) {
        // A folder does not open as a file, and the code says access denied,
        // which would send the reader after rights that are not the matter.
        const win::result<DWORD> attributes = win::attributes_of(path);
        const bool folder = opened.error().code == ERROR_ACCESS_DENIED && attributes &&
                            (attributes.value() & FILE_ATTRIBUTE_DIRECTORY) != 0;
        fail(folder ? failure{why_not::folder} : failed_with(opened.error()));
        return;
    }
    file_ = std::move(opened).value();
    read_start();
}

opened_file::opened_file(HANDLE listed, const std::wstring& path,
                         const win::folder_entry& entry) {
    win::result<unique_file_handle> opened = win::open_listed(listed, path, entry);
    if (!opened) {
        // An id that no longer names a file is one deleted since the listing.
        const win::win32_error error = opened.error();
        fail(failed_with(error.code == ERROR_INVALID_PARAMETER
                             ? win::win32_error{ERROR_FILE_NOT_FOUND, error.call}
                             : error));
        return;
    }
    file_ = std::move(opened).value();
    read_start();
}

opened_file::failure opened_file::failed_with(win::win32_error error) {
    const bool absent = error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND;
    return {absent ? why_not::absent : why_not::unreadable, error};
}

reason opened_file::problem() const {
    switch (failure_->why) {
    case why_not::folder:
        return {L"a folder, not a file"};
    case why_not::not_on_disk:
        return {L"not a file on a disk"};
    case why_not::absent:
    case why_not::unreadable:
        break;
    }
    return {L"cannot be read", failure_->error.code};
}

void opened_file::fail(failure failed) {
    failure_ = failed;
    file_ = {};
}

void opened_file::read_start() {
    // A name may lead to a device or a pipe: only a file on a disk is one
    // that a signature or a catalog can speak of.
    const win::result<DWORD> type = win::type_of(file_.get());
    if (!type || type.value() != FILE_TYPE_DISK) {
        fail({why_not::not_on_disk});
        return;
    }
    // A file can open and still refuse its bytes (a range locked by another
    // process); the signature services would then fail in ways of their own.
    std::array<std::byte, 4096> start{};
    if (const win::result<std::size_t> read = win::read_next(file_.get(), start); !read) {
        fail(failed_with(read.error()));
    }
}

}  // namespace pelmar::signatures
