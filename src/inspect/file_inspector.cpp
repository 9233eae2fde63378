#include "file_inspector.h"

#include <cstdint>
#include <utility>

#include "file_version.h"
#include "hash_stream.h"
#include "shared_file_stream.h"

namespace {

constexpr std::uint64_t chunk_size = 65536;

}  // namespace

file_inspector::file_inspector(const crypt_provider& provider, std::wstring directory)
    : provider_(provider), directory_(std::move(directory)) {}

file_info file_inspector::inspect_file(const wchar_t* file_name) const {
    // The directory's own trailing backslash, where it has one, is kept:
    // Windows reads the doubled separator as one.
    const std::wstring path = directory_ + L'\\' + file_name;
    shared_file_stream stream(path.c_str());
    if (!stream_failed(stream)) {
        stream.seekg(0, std::ios::end);
        const std::int64_t size = stream.tellg();
        stream.seekg(0, std::ios::beg);
        if (!stream_failed(stream) && size >= 0) {
            std::wstring hash;
            hash_stream(provider_, CALG_SHA1, stream, size, chunk_size, L"", hash);
            if (!stream_failed(stream) && !hash.empty()) {
                return file_info(directory_, file_name, static_cast<std::uint64_t>(size),
                                 file_version_string(path.c_str()), hash);
            }
        }
    }
    return file_info(directory_, file_name, file_info::unmeasured,
                     std::wstring(file_info::not_inspected), std::wstring(file_info::not_inspected));
}
