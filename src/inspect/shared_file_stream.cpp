#include "shared_file_stream.h"

#include <algorithm>
#include <limits>
#include <utility>

shared_file_buffer::shared_file_buffer(unique_file_handle file)
    : file_(std::move(file)) {}

std::streamsize shared_file_buffer::read_file(char_type* destination, std::streamsize count) {
    std::streamsize total = 0;
    // ReadFile takes 32-bit counts, so larger requests go in several calls.
    while (total < count) {
        const auto request = static_cast<DWORD>(
            std::min<std::streamsize>(count - total, std::numeric_limits<DWORD>::max()));
        DWORD delivered = 0;
        if (!ReadFile(file_.get(), destination + total, request, &delivered, nullptr)) {
            return total > 0 ? total : -1;
        }
        if (delivered == 0) {
            break;
        }
        total += delivered;
    }
    return total;
}

shared_file_buffer::int_type shared_file_buffer::underflow() {
    if (read_file(&one_byte_, 1) != 1) {
        return traits_type::eof();
    }
    setg(&one_byte_, &one_byte_, &one_byte_ + 1);
    return traits_type::to_int_type(one_byte_);
}

std::streamsize shared_file_buffer::xsgetn(char_type* destination, std::streamsize count) {
    std::streamsize taken = 0;
    if (gptr() < egptr() && count > 0) {
        *destination = *gptr();
        gbump(1);
        taken = 1;
    }
    const auto read = read_file(destination + taken, count - taken);
    return read < 0 ? taken : taken + read;
}

shared_file_buffer::pos_type shared_file_buffer::seekoff(off_type offset,
                                                          std::ios::seekdir direction,
                                                          std::ios::openmode which) {
    if ((which & std::ios::in) == 0) {
        return pos_type(off_type(-1));
    }
    DWORD method = FILE_BEGIN;
    if (direction == std::ios::cur) {
        method = FILE_CURRENT;
        // The file pointer is ahead of the stream by what is still buffered.
        offset -= egptr() - gptr();
    } else if (direction == std::ios::end) {
        method = FILE_END;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(file_.get(), distance, &position, method)) {
        return pos_type(off_type(-1));
    }
    setg(nullptr, nullptr, nullptr);
    return pos_type(off_type(position.QuadPart));
}

shared_file_buffer::pos_type shared_file_buffer::seekpos(pos_type position,
                                                          std::ios::openmode which) {
    return seekoff(off_type(position), std::ios::beg, which);
}

namespace {

std::unique_ptr<shared_file_buffer> open_shared(const wchar_t* path) {
    const HANDLE handle =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    unique_file_handle file(handle);
    return std::make_unique<shared_file_buffer>(std::move(file));
}

}  // namespace

shared_file_stream::shared_file_stream(const wchar_t* path)
    : std::istream(nullptr), buffer_(open_shared(path)) {
    if (buffer_) {
        rdbuf(buffer_.get());
    } else {
        setstate(std::ios::failbit);
    }
}
