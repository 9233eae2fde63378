#include "line_reader.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr DWORD chunk_bytes = 65536;
// The longest UTF-8 sequence less its first byte; a chunk can end inside one.
constexpr std::size_t max_carried_bytes = 3;

bool is_high_surrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

line_reader::line_reader()
    : bytes_(chunk_bytes + max_carried_bytes), text_(chunk_bytes + max_carried_bytes) {
    partial_.reserve(max_line_length + 1);
}

void line_reader::start(HANDLE file) {
    file_ = file;
    carried_ = 0;
    text_next_ = 0;
    text_end_ = 0;
    partial_.clear();
    partial_given_ = false;
    encoding_ = encoding::unknown;
    bytes_read_ = 0;
    end_of_file_ = false;
    pending_ = problem::none;
    problem_ = problem::none;
    error_code_ = 0;
    line_number_ = 0;
    line_ended_ = true;
    any_text_ = false;
}

bool line_reader::next_line(std::wstring_view& line) {
    if (partial_given_) {
        partial_.clear();
        partial_given_ = false;
    }
    if (problem_ != problem::none) {
        return false;
    }
    for (;;) {
        const wchar_t* first = text_.data() + text_next_;
        const std::size_t left = text_end_ - text_next_;
        const wchar_t* line_feed = left > 0 ? std::wmemchr(first, L'\n', left) : nullptr;
        if (line_feed != nullptr) {
            text_next_ = static_cast<std::size_t>(line_feed - text_.data()) + 1;
            if (partial_.empty()) {
                line = std::wstring_view(first, static_cast<std::size_t>(line_feed - first));
            } else {
                if (!keep_partial(first, line_feed)) {
                    return false;
                }
                line = partial_;
                partial_given_ = true;
            }
            ++line_number_;
            line_ended_ = true;
            if (!line.empty() && line.back() == L'\r') {
                line.remove_suffix(1);
            }
            return line.size() <= max_line_length || stop(problem::line_too_long);
        }
        if (!keep_partial(first, first + left)) {
            return false;
        }
        text_next_ = text_end_;
        if (pending_ != problem::none) {
            ++line_number_;
            return stop(pending_);
        }
        if (!fill()) {
            if (problem_ != problem::none || partial_.empty()) {
                return false;
            }
            ++line_number_;
            line_ended_ = false;
            line = partial_;
            partial_given_ = true;
            return true;
        }
    }
}

bool line_reader::fill() {
    text_next_ = 0;
    text_end_ = 0;
    while (!end_of_file_) {
        DWORD read = 0;
        if (!ReadFile(file_, bytes_.data() + carried_, chunk_bytes, &read, nullptr)) {
            error_code_ = GetLastError();
            return stop(problem::read_failed);
        }
        bytes_read_ += read;
        if (bytes_read_ > max_file_bytes) {
            return stop(problem::too_large);
        }
        end_of_file_ = read == 0;
        const unsigned char* bytes = bytes_.data();
        std::size_t count = carried_ + read;
        if (encoding_ == encoding::unknown) {
            // A byte order mark may straddle reads that stop short, as from a pipe.
            if (count < 3 && !end_of_file_) {
                carried_ = count;
                continue;
            }
            if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
                encoding_ = encoding::utf8;
                bytes += 3;
                count -= 3;
            } else if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
                encoding_ = encoding::utf16le;
                bytes += 2;
                count -= 2;
            } else {
                encoding_ = encoding::utf8;
            }
        }
        const std::size_t used = encoding_ == encoding::utf8
                                     ? decode_utf8(bytes, count, end_of_file_)
                                     : decode_utf16le(bytes, count, end_of_file_);
        carried_ = count - used;
        std::memmove(bytes_.data(), bytes + used, carried_);
        if (text_end_ > 0) {
            any_text_ = true;
            return true;
        }
        if (pending_ != problem::none) {
            return true;
        }
    }
    return false;
}

std::size_t line_reader::decode_utf8(const unsigned char* bytes, std::size_t count, bool last) {
    wchar_t* out = text_.data();
    std::size_t next = 0;
    while (next < count) {
        // Saved tables are nearly all ASCII: eight bytes at a time while no
        // byte has its high bit set or is NUL.
        std::uint64_t eight = 0;
        while (count - next >= sizeof eight) {
            std::memcpy(&eight, bytes + next, sizeof eight);
            constexpr std::uint64_t low_bits = 0x0101010101010101;
            constexpr std::uint64_t high_bits = 0x8080808080808080;
            if (((eight | ((eight - low_bits) & ~eight)) & high_bits) != 0) {
                break;
            }
            for (std::size_t index = 0; index < sizeof eight; ++index) {
                out[index] = static_cast<wchar_t>(bytes[next + index]);
            }
            out += sizeof eight;
            next += sizeof eight;
        }
        if (next == count) {
            break;
        }
        const unsigned lead = bytes[next];
        if (lead >= 0x01 && lead <= 0x7F) {
            *out++ = static_cast<wchar_t>(lead);
            ++next;
            continue;
        }
        // The well-formed sequences of the Unicode standard: no overlong
        // forms, no surrogates, nothing beyond U+10FFFF. NUL marks binary data.
        std::size_t length = 0;
        unsigned code = 0;
        unsigned second_low = 0x80;
        unsigned second_high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            second_low = lead == 0xE0 ? 0xA0 : 0x80;
            second_high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            second_low = lead == 0xF0 ? 0x90 : 0x80;
            second_high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            pending_ = problem::not_text;
            break;
        }
        bool valid = true;
        std::size_t index = 1;
        for (; index < length && next + index < count; ++index) {
            const unsigned byte = bytes[next + index];
            const unsigned low = index == 1 ? second_low : 0x80;
            const unsigned high = index == 1 ? second_high : 0xBF;
            if (byte < low || byte > high) {
                valid = false;
                break;
            }
            code = (code << 6) | (byte & 0x3F);
        }
        if (!valid || (index < length && last)) {
            pending_ = problem::not_text;
            break;
        }
        if (index < length) {
            break;  // completed by the next chunk
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            *out++ = static_cast<wchar_t>(0xD800 + (code >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            *out++ = static_cast<wchar_t>(code);
        }
        next += length;
    }
    text_end_ = static_cast<std::size_t>(out - text_.data());
    return next;
}

std::size_t line_reader::decode_utf16le(const unsigned char* bytes, std::size_t count, bool last) {
    wchar_t* out = text_.data();
    std::size_t next = 0;
    const auto unit_at = [bytes](std::size_t index) {
        return static_cast<unsigned>(bytes[index]) | static_cast<unsigned>(bytes[index + 1]) << 8;
    };
    while (count - next >= 2) {
        const unsigned unit = unit_at(next);
        if (unit == 0 || is_low_surrogate(unit)) {
            pending_ = problem::not_text;
            break;
        }
        if (!is_high_surrogate(unit)) {
            *out++ = static_cast<wchar_t>(unit);
            next += 2;
            continue;
        }
        if (count - next < 4) {
            break;  // the pair's other half is in the next chunk, or missing
        }
        const unsigned second = unit_at(next + 2);
        if (!is_low_surrogate(second)) {
            pending_ = problem::not_text;
            break;
        }
        *out++ = static_cast<wchar_t>(unit);
        *out++ = static_cast<wchar_t>(second);
        next += 4;
    }
    if (last && pending_ == problem::none && next < count) {
        pending_ = (count - next) % 2 != 0 ? problem::odd_utf16 : problem::not_text;
    }
    text_end_ = static_cast<std::size_t>(out - text_.data());
    return next;
}

bool line_reader::keep_partial(const wchar_t* first, const wchar_t* last) {
    // One character more than a line may hold: the CR of a CR LF line end.
    if (partial_.size() + static_cast<std::size_t>(last - first) > max_line_length + 1) {
        ++line_number_;
        return stop(problem::line_too_long);
    }
    partial_.append(first, last);
    return true;
}

bool line_reader::stop(problem reason) {
    problem_ = reason;
    return false;
}
