// The yardstick for the compare program's cost per inventory: it lists a
// folder as the compare program lists a wildcard's folder, then opens, reads
// whole and closes each file in it, and nothing else: no decoding, no
// comparison, no output per file. With --identity it also asks each opened
// file for its 128-bit id (FileIdInfo), as the compare program does before
// it reads, so that the two runs show what that question costs.
//
// Usage: compare_yardstick.exe [--identity] FOLDER
// Prints "N files, B bytes" on standard output; exit code 0, or 1 on any failure.

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include <windows.h>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
    return 1;
}

// FILE_ID_INFO, declared by the headers for Windows 8 and later only.
struct file_id_info {
    ULONGLONG volume_serial;
    BYTE file_id[16];
};

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const bool identity = argc == 3 && std::wcscmp(argv[1], L"--identity") == 0;
    if (argc != 2 + identity) {
        std::fprintf(stderr, "usage: compare_yardstick.exe [--identity] FOLDER\n");
        return 1;
    }
    const std::wstring folder = std::wstring(argv[argc - 1]) + L"\\";
    const HANDLE listed = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (listed == INVALID_HANDLE_VALUE) {
        return fail("CreateFileW (folder)");
    }
    std::vector<std::wstring> names;
    std::vector<std::uint64_t> buffer(8192);
    while (GetFileInformationByHandleEx(listed, FileIdBothDirectoryInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
        for (auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());;
             entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                 reinterpret_cast<const char*>(entry) + entry->NextEntryOffset)) {
            if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(folder +
                                   std::wstring(entry->FileName, entry->FileNameLength / 2));
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
        }
    }
    CloseHandle(listed);

    std::string bytes;
    std::uint64_t total = 0;
    for (const std::wstring& name : names) {
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return fail("CreateFileW");
        }
        file_id_info about{};
        LARGE_INTEGER size{};
        DWORD read = 0;
        constexpr auto file_id_info_class = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
        if (identity &&
            !GetFileInformationByHandleEx(file, file_id_info_class, &about, sizeof about)) {
            return fail("GetFileInformationByHandleEx (FileIdInfo)");
        }
        if (!GetFileSizeEx(file, &size)) {
            return fail("GetFileSizeEx");
        }
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read,
                                        nullptr)) {
            return fail("ReadFile");
        }
        total += read;
        CloseHandle(file);
    }
    std::printf("%zu files, %llu bytes\n", names.size(), static_cast<unsigned long long>(total));
    return 0;
}
