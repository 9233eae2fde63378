#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <span>
#include <streambuf>

#include <windows.h>

// Writes wide text to a standard handle without loss: UTF-16 to a console
// window, UTF-8 to a file or pipe. The C runtime's wide streams instead stop
// for good at the first character the "C" locale cannot convert. Files and
// pipes still get the line ends of the C runtime's text mode, CR LF, which
// is what readers of saved reports on Windows expect.
class std_handle_buffer : public std::wstreambuf {
public:
    explicit std_handle_buffer(DWORD std_handle);
    ~std_handle_buffer() override;

    std_handle_buffer(const std_handle_buffer&) = delete;
    std_handle_buffer& operator=(const std_handle_buffer&) = delete;

    // The Windows error code of the write that failed, or 0.
    [[nodiscard]] std::uint32_t error_code() const { return error_code_; }

    // From now on a file or pipe gets each line feed as it is, for formats
    // whose lines end in LF alone.
    void keep_line_feeds() { line_feed_as_crlf_ = false; }

protected:
    int_type overflow(int_type character) override;
    int sync() override;

private:
    static constexpr std::size_t capacity = 4096;

    bool write_pending(bool keep_split_pair);
    [[nodiscard]] bool write_text(const wchar_t* text, std::size_t count);
    // UTF-8 of the text with every line feed as CR LF (unless kept), in
    // encoded_; its size.
    std::size_t encode(const wchar_t* text, std::size_t count);
    // Records why the handle took no text: the code of a call that failed,
    // or ERROR_WRITE_FAULT for one that succeeded without writing anything,
    // since the last error is then left over from some earlier call.
    // Always false.
    bool fail(bool call_failed);

    HANDLE handle_;
    bool console_;
    std::uint32_t error_code_ = 0;
    bool line_feed_as_crlf_ = true;
    std::array<wchar_t, capacity> pending_{};
    // Room for a full pending buffer: UTF-8 takes at most three bytes for
    // one UTF-16 unit, and a line feed's CR LF two.
    std::array<char, 3 * capacity> encoded_{};
};

// Routes std::wcout and std::wcerr through std_handle_buffer for its
// lifetime, and restores the previous buffers afterwards.
class console_streams {
public:
    console_streams();
    ~console_streams();

    console_streams(const console_streams&) = delete;
    console_streams& operator=(const console_streams&) = delete;

private:
    std_handle_buffer output_;
    std_handle_buffer error_;
    std::wstreambuf* previous_output_;
    std::wstreambuf* previous_error_;
};

// A program's run on its arguments, after the program's name, with its
// standard output and standard error; returns the exit code.
using console_run = int(std::span<const wchar_t* const> arguments, std::wostream& out,
                        std::wostream& error);

// The wmain of a program that takes arguments: `run` on them, with
// std::wcout and std::wcerr routed through console_streams.
[[nodiscard]] int run_console_program(int argc, wchar_t* argv[], console_run* run);

// Why a write to `stream` failed: the Windows error code where the stream
// writes to a standard handle, ERROR_WRITE_FAULT for any other stream.
[[nodiscard]] std::uint32_t write_error_code(const std::wostream& stream);

// Where `stream` writes to a standard handle, its lines from now on end in a
// line feed alone in a file or pipe too (see std_handle_buffer).
void keep_line_feeds(std::wostream& stream);

// Flushes `stream`: a result that did not reach its reader in full is no
// success. Returns 0 when all of it did, otherwise write_error_code(stream).
[[nodiscard]] std::uint32_t flush_all(std::wostream& stream);

// flush_all for a run that ends where its output does not reach its reader:
// throws output_exception with the write's error code.
void flush_all_or_throw(std::wostream& stream);
