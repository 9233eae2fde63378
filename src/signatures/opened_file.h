#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "unique_file_handle.h"

// A file opened for the check, or why it could not be: it is absent, or it
// exists but could not be opened or read.
class opened_file {
public:
    // Opens for reading while others may read, write or delete the file, as
    // a driver's files are in use, and reads its first bytes.
    explicit opened_file(const std::wstring& path);

    bool absent() const { return absent_; }
    // The Windows error code of the open or read that failed; 0 when open.
    std::uint32_t error_code() const { return error_code_; }
    HANDLE handle() const { return file_ ? file_->get() : INVALID_HANDLE_VALUE; }

private:
    bool absent_ = false;
    std::uint32_t error_code_ = 0;
    std::optional<unique_file_handle> file_;
};
