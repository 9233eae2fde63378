#pragma once

#include <istream>
#include <memory>
#include <streambuf>

#include "unique_file_handle.h"

// Reads a file's bytes without translation, with 64-bit positions. The
// standard file streams cannot do this portably: they do not take a sharing
// mode, and libstdc++ has no facets for streams of unsigned char.
class shared_file_buffer : public std::streambuf {
public:
    explicit shared_file_buffer(unique_file_handle file);

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char_type* destination, std::streamsize count) override;
    pos_type seekoff(off_type offset, std::ios::seekdir direction,
                     std::ios::openmode which) override;
    pos_type seekpos(pos_type position, std::ios::openmode which) override;

private:
    // Reads up to count bytes at the file pointer; -1 when the read failed.
    std::streamsize read_file(char_type* destination, std::streamsize count);

    unique_file_handle file_;
    char_type one_byte_ = 0;
};

// An input stream over one file, opened for reading while other openers may
// both read and write it (the CRT's _SH_DENYNO). Failed from the start when
// the file cannot be opened.
class shared_file_stream : public std::istream {
public:
    explicit shared_file_stream(const wchar_t* path);

private:
    std::unique_ptr<shared_file_buffer> buffer_;
};
