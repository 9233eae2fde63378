#include "hash_stream.h"

#include <algorithm>
#include <cstddef>
#include <iomanip>
#include <new>
#include <sstream>
#include <vector>

#include "crypt_hash.h"
#include "win32_exception.h"

namespace {

// Every read copies the file's pages into the chunk buffer. On some
// processors that copy runs several times slower when the buffer starts a few
// bytes past a page boundary (its loads and stores alias 4 KiB apart), and
// where the heap puts 64 KiB depends on everything allocated before it. At
// the start of a page the reads run at full speed wherever the buffer lands.
template <typename value>
struct page_aligned_allocator {
    using value_type = value;
    static constexpr std::align_val_t page{4096};

    page_aligned_allocator() = default;
    template <typename other>
    page_aligned_allocator(const page_aligned_allocator<other>&) noexcept {}

    value* allocate(std::size_t count) {
        return static_cast<value*>(::operator new(count * sizeof(value), page));
    }
    void deallocate(value* pointer, std::size_t) noexcept { ::operator delete(pointer, page); }

    bool operator==(const page_aligned_allocator&) const = default;
};

}  // namespace

void hash_stream(const crypt_provider& provider, ALG_ID algorithm, std::istream& stream,
                 std::int64_t size, std::uint64_t chunk, const wchar_t* separator,
                 std::wstring& out) {
    const crypt_hash hash(provider, algorithm);
    if (stream_failed(stream)) {
        return;
    }

    std::vector<unsigned char, page_aligned_allocator<unsigned char>> buffer(chunk);
    std::int64_t total = 0;
    while (total < size) {
        const auto request =
            std::min(static_cast<std::uint64_t>(size - total), static_cast<std::uint64_t>(chunk));
        stream.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(request));
        // A short read fails the stream; its bytes would only hash a prefix.
        if (stream_failed(stream)) {
            break;
        }
        const auto count = stream.gcount();
        if (count >= 1) {
            if (!CryptHashData(hash.handle(), buffer.data(), static_cast<DWORD>(count), 0)) {
                throw pelmar::crypto::crypto_exception(GetLastError());
            }
            total += count;
        }
    }
    if (stream_failed(stream) || total != size) {
        return;
    }

    std::vector<unsigned char> value;
    hash.hash_value(value);
    std::wostringstream text;
    text << std::hex << std::setfill(L'0');
    for (const unsigned char byte : value) {
        text << std::setw(2) << static_cast<unsigned int>(byte) << separator;
    }
    out = text.str();
    if (*separator != L'\0') {
        out.pop_back();
    }
}
