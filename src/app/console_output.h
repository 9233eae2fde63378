#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <streambuf>

#include <windows.h>

// Writes wide text to a standard handle without loss: UTF-16 to a console
// window, UTF-8 to a file or pipe. The C runtime's wide streams instead stop
// for good at the first character the "C" locale cannot convert.
class std_handle_buffer : public std::wstreambuf {
public:
    explicit std_handle_buffer(DWORD std_handle);
    ~std_handle_buffer() override;

    std_handle_buffer(const std_handle_buffer&) = delete;
    std_handle_buffer& operator=(const std_handle_buffer&) = delete;

    // The Windows error code of the write that failed, or 0.
    std::uint32_t error_code() const { return error_code_; }

protected:
    int_type overflow(int_type character) override;
    int sync() override;

private:
    bool write_pending(bool keep_split_pair);
    bool write_text(const wchar_t* text, std::size_t count);
    // Records why the handle refused a write; always false.
    bool fail();

    HANDLE handle_;
    bool console_;
    std::uint32_t error_code_ = 0;
    std::array<wchar_t, 4096> pending_{};
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

// Why a write to `stream` failed: the Windows error code where the stream
// writes to a standard handle, ERROR_WRITE_FAULT for any other stream.
std::uint32_t write_error_code(const std::wostream& stream);
