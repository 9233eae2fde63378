// The yardstick for the inventory's hashing cost: hash_file (hash_file.h) and
// nothing else: no streams, no version read, no table.
//
// Usage: reference_hash.exe <path>
// Prints "<40 hex digits> <size in bytes>" on standard output and the
// process's own peak working set ("peak_working_set_bytes=N") on standard
// error, so the benchmark can check its outside measurement against what
// Windows reports from inside. Exit code 0 on success, 1 on any failure.

#include <cstdio>

#include <windows.h>
#include <psapi.h>

#include "hash_file.h"

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fputs("usage: reference_hash.exe <path>\n", stderr);
        return 1;
    }
    file_digest digest;
    if (const char* failed = hash_file(argv[1], digest)) {
        return fail(failed);
    }
    std::printf("%s %llu\n", digest.text, digest.size);

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        std::fprintf(stderr, "peak_working_set_bytes=%llu\n",
                     static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    }
    return 0;
}
