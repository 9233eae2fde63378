#include "file_streams.h"

#include <string_view>

#include <winternl.h>

namespace pelmar::win {

namespace {

// FILE_STREAM_INFORMATION and its class, which only the driver kit's
// headers declare.
struct file_stream_information {
    ULONG next_entry_offset;
    ULONG stream_name_length;
    LARGE_INTEGER stream_size;
    LARGE_INTEGER stream_allocation_size;
    WCHAR stream_name[1];
};
constexpr auto file_stream_information_class = static_cast<FILE_INFORMATION_CLASS>(22);

constexpr NTSTATUS buffer_overflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS buffer_too_small = static_cast<NTSTATUS>(0xC0000023);
// What file systems without streams (FAT, a redirector's share) answer.
constexpr NTSTATUS no_streams_here[] = {
    static_cast<NTSTATUS>(0xC000000D),  // STATUS_INVALID_PARAMETER
    static_cast<NTSTATUS>(0xC0000002),  // STATUS_NOT_IMPLEMENTED
    static_cast<NTSTATUS>(0xC0000003),  // STATUS_INVALID_INFO_CLASS
    static_cast<NTSTATUS>(0xC00000BB),  // STATUS_NOT_SUPPORTED
};

}  // namespace

result<std::vector<std::wstring>> list_streams(HANDLE file) {
    // Not FindFirstStreamW, which takes a path: the file's name may be one
    // that Windows rewrites, and the handle is the very file listed.
    std::vector<std::wstring> names;
    std::vector<std::uint64_t> buffer(512);  // aligned as the records need
    for (;;) {
        IO_STATUS_BLOCK status{};
        const NTSTATUS answer = NtQueryInformationFile(
            file, &status, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof buffer[0]),
            file_stream_information_class);
        if (answer == buffer_overflow || answer == buffer_too_small) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        for (const NTSTATUS none : no_streams_here) {
            if (answer == none) {
                return names;
            }
        }
        if (answer < 0) {
            return win32_error{RtlNtStatusToDosError(answer), "NtQueryInformationFile"};
        }
        if (status.Information == 0) {
            return names;  // a folder without streams has no records at all
        }
        for (auto* entry = reinterpret_cast<const file_stream_information*>(buffer.data());;
             entry = reinterpret_cast<const file_stream_information*>(
                 reinterpret_cast<const char*>(entry) + entry->next_entry_offset)) {
            // `:name:$DATA`; the file's own data is `::$DATA`.
            std::wstring_view name(entry->stream_name,
                                   entry->stream_name_length / sizeof(wchar_t));
            constexpr std::wstring_view data_suffix = L":$DATA";
            if (name.starts_with(L':') && name.ends_with(data_suffix)) {
                name = name.substr(1, name.size() - 1 - data_suffix.size());
                if (!name.empty()) {
                    names.emplace_back(name);
                }
            }
            if (entry->next_entry_offset == 0) {
                return names;
            }
        }
    }
}

}  // namespace pelmar::win
