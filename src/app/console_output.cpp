#include "console_output.h"

#include <algorithm>
#include <iostream>

#include "win32_exception.h"

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

bool std_handle_buffer::fail(bool call_failed) {
    const DWORD error = call_failed ? GetLastError() : 0;
    error_code_ = error != 0 ? error : ERROR_WRITE_FAULT;
    return false;
}

std::size_t std_handle_buffer::encode(const wchar_t* text, std::size_t count) {
    // Line by line, each line feed as CR LF, as the C runtime's text mode
    // writes it. A line feed is never half of a surrogate pair, so cutting
    // at line feeds cuts no pair apart.
    const wchar_t* const end = text + count;
    std::size_t size = 0;
    while (true) {
        const wchar_t* const line_end = std::find(text, end, L'\n');
        if (line_end != text) {
            size += static_cast<std::size_t>(WideCharToMultiByte(
                CP_UTF8, 0, text, static_cast<int>(line_end - text), encoded_.data() + size,
                static_cast<int>(encoded_.size() - size), nullptr, nullptr));
        }
        if (line_end == end) {
            return size;
        }
        if (line_feed_as_crlf_) {
            encoded_[size++] = '\r';
        }
        encoded_[size++] = '\n';
        text = line_end + 1;
    }
}

bool std_handle_buffer::write_text(const wchar_t* text, std::size_t count) {
    if (console_) {
        while (count > 0) {
            DWORD written = 0;
            const bool failed =
                !WriteConsoleW(handle_, text, static_cast<DWORD>(count), &written, nullptr);
            if (failed || written == 0) {
                return fail(failed);
            }
            text += written;
            count -= written;
        }
        return true;
    }

    const char* next = encoded_.data();
    auto left = encode(text, count);
    while (left > 0) {
        DWORD written = 0;
        const bool failed = !WriteFile(handle_, next, static_cast<DWORD>(left), &written, nullptr);
        if (failed || written == 0) {
            return fail(failed);
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

void keep_line_feeds(std::wostream& stream) {
    if (auto* buffer = dynamic_cast<std_handle_buffer*>(stream.rdbuf())) {
        buffer->keep_line_feeds();
    }
}

std::uint32_t flush_all(std::wostream& stream) {
    stream.flush();
    return stream ? 0 : write_error_code(stream);
}

void flush_all_or_throw(std::wostream& stream) {
    if (const std::uint32_t error_code = flush_all(stream)) {
        throw output_exception(error_code);
    }
}

int run_console_program(int argc, wchar_t* argv[], console_run* run) {
    const console_streams streams;
    const std::span<const wchar_t* const> arguments(argv, static_cast<std::size_t>(argc));
    return run(arguments.subspan(arguments.empty() ? 0 : 1), std::wcout, std::wcerr);
}
