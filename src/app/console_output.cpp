#include "console_output.h"

#include <iostream>
#include <string>

namespace {

bool is_high_surrogate(wchar_t character) {
    return character >= 0xD800 && character <= 0xDBFF;
}

}  // namespace

std_handle_buffer::std_handle_buffer(DWORD std_handle) : handle_(GetStdHandle(std_handle)) {
    DWORD mode = 0;
    console_ = GetConsoleMode(handle_, &mode) != FALSE;
    setp(pending_.data(), pending_.data() + pending_.size());
}

std_handle_buffer::~std_handle_buffer() {
    write_pending(false);
}

std_handle_buffer::int_type std_handle_buffer::overflow(int_type character) {
    if (!write_pending(true)) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(character);
        pbump(1);
    }
    return traits_type::not_eof(character);
}

int std_handle_buffer::sync() {
    return write_pending(false) ? 0 : -1;
}

bool std_handle_buffer::write_pending(bool keep_split_pair) {
    if (error_code_ != 0) {
        return false;
    }
    auto count = static_cast<std::size_t>(pptr() - pbase());
    // Half a surrogate pair cannot be converted on its own; it waits for its
    // other half unless the caller asked for everything.
    const bool keep_last = keep_split_pair && count > 0 && is_high_surrogate(pbase()[count - 1]);
    if (keep_last) {
        --count;
    }
    if (!write_text(pbase(), count)) {
        return false;
    }
    const wchar_t kept = keep_last ? pbase()[count] : L'\0';
    setp(pending_.data(), pending_.data() + pending_.size());
    if (keep_last) {
        *pptr() = kept;
        pbump(1);
    }
    return true;
}

bool std_handle_buffer::fail() {
    const DWORD error = GetLastError();
    error_code_ = error != 0 ? error : ERROR_WRITE_FAULT;
    return false;
}

bool std_handle_buffer::write_text(const wchar_t* text, std::size_t count) {
    if (count == 0) {
        return true;
    }
    if (console_) {
        while (count > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle_, text, static_cast<DWORD>(count), &written, nullptr) ||
                written == 0) {
                return fail();
            }
            text += written;
            count -= written;
        }
        return true;
    }

    const int length = static_cast<int>(count);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string encoded(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, encoded.data(), bytes, nullptr, nullptr);
    const char* next = encoded.data();
    auto left = encoded.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_, next, static_cast<DWORD>(left), &written, nullptr) ||
            written == 0) {
            return fail();
        }
        next += written;
        left -= written;
    }
    return true;
}

console_streams::console_streams()
    : output_(STD_OUTPUT_HANDLE),
      error_(STD_ERROR_HANDLE),
      previous_output_(std::wcout.rdbuf(&output_)),
      previous_error_(std::wcerr.rdbuf(&error_)) {}

console_streams::~console_streams() {
    std::wcout.flush();
    std::wcerr.flush();
    std::wcout.rdbuf(previous_output_);
    std::wcerr.rdbuf(previous_error_);
}

std::uint32_t write_error_code(const std::wostream& stream) {
    const auto* buffer = dynamic_cast<const std_handle_buffer*>(stream.rdbuf());
    if (buffer != nullptr && buffer->error_code() != 0) {
        return buffer->error_code();
    }
    return ERROR_WRITE_FAULT;
}
