#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

// Reads a saved text file line by line, in chunks: UTF-8 with or without its
// byte order mark, or UTF-16LE with its mark. A line ends at LF; a CR right
// before the LF belongs to the line end. One reader serves a whole run, so its
// buffers are allocated once.
class line_reader {
public:
    // Why reading stopped before the end of the text.
    enum class problem { none, read_failed, too_large, not_text, odd_utf16, line_too_long };

    // Inventories are far smaller; anything beyond these is no saved table.
    static constexpr std::uint64_t max_file_bytes = 16 * 1024 * 1024;
    static constexpr std::size_t max_line_length = 65536;

    line_reader();

    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    // Starts reading `file` from its current position; the caller keeps it open.
    void start(HANDLE file);

    // The next line without its line end, valid until the next call; false at
    // the end of the text or when a problem stopped the reading.
    bool next_line(std::wstring_view& line);

    problem stopped_by() const { return problem_; }
    // The Windows error code when reading failed.
    std::uint32_t error_code() const { return error_code_; }
    // The number of the line last given, or of the line a problem is in.
    std::size_t line_number() const { return line_number_; }
    // Whether the line last given ended with a line end: a file cut short
    // ends in a line without one.
    bool line_ended() const { return line_ended_; }
    // Whether the text held any character at all beyond its byte order mark.
    bool any_text() const { return any_text_; }

private:
    enum class encoding { unknown, utf8, utf16le };

    // Reads and decodes the next chunk; false when there was nothing more.
    bool fill();
    std::size_t decode_utf8(const unsigned char* bytes, std::size_t count, bool last);
    std::size_t decode_utf16le(const unsigned char* bytes, std::size_t count, bool last);
    // Appends part of a line that continues beyond the decoded text.
    bool keep_partial(const wchar_t* first, const wchar_t* last);
    bool stop(problem reason);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::vector<unsigned char> bytes_;
    std::vector<wchar_t> text_;
    std::size_t carried_ = 0;  // undecoded bytes kept at the front of bytes_
    std::size_t text_next_ = 0;
    std::size_t text_end_ = 0;
    std::wstring partial_;
    bool partial_given_ = false;
    encoding encoding_ = encoding::unknown;
    std::uint64_t bytes_read_ = 0;
    bool end_of_file_ = false;
    // A problem found while decoding, which holds once the text before it is read.
    problem pending_ = problem::none;
    problem problem_ = problem::none;
    std::uint32_t error_code_ = 0;
    std::size_t line_number_ = 0;
    bool line_ended_ = true;
    bool any_text_ = false;
};
