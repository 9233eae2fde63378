// Splits the inventory's fixed cost under Wine into stages. The benchmark
// builds this file once per stage, PROBE_STAGE = 0 to 10; each build does what
// every lower one does and adds one stage, with the inventory's own calls and
// arguments, in the inventory's order:
//
//   0  the reference loop's work: CryptoAPI provider, the file's SHA-1, printf
//   1  ole32.dll imported (nothing called)
//   2  CoInitializeEx (multithreaded) ... CoUninitialize around the rest
//   3  shell32.dll imported (nothing called)
//   4  two SHGetKnownFolderPath calls, CoTaskMemFree, _waccess of the two folders
//   5  winspool.drv imported (nothing called)
//   6  EnumPrinterDriversW "all" at levels 2 and 8, GetPrintProcessorDirectoryW,
//      each with its two-call protocol; _waccess of what they name
//   7  version.dll imported (nothing called)
//   8  the banner's version read of this program (which has no version resource,
//      so it ends at the size query) and the one found file's
//   9  opening every other (file, location) path of the table: 77 absent files
//  10  writing the 79 lines of the table to standard output
//
// The difference between the whole-process times of two neighbouring builds
// is what one stage costs, loading and unloading included; the program minus
// build 10 is what the inventory's own code adds. Each build also prints, on
// standard error, the time of each of its called stages measured from inside
// ("stage=<n> seconds=<s>"): the calls alone, without loading the DLLs.
//
// Usage: stage_probe_<n>.exe <path of the one present file>
// Prints "<40 hex digits> <size in bytes>" like reference_hash.exe.

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include <io.h>
#include <windows.h>
#if PROBE_STAGE >= 1
#include <objbase.h>
#endif
#if PROBE_STAGE >= 3
#include <knownfolders.h>
#include <shlobj.h>
#endif
#if PROBE_STAGE >= 5
#include <winspool.h>
#endif

#include "hash_file.h"

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
    return 1;
}

double now_seconds() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class stage_clock {
public:
    explicit stage_clock(const char* name) : name_(name), start_(now_seconds()) {}
    ~stage_clock() {
        std::fprintf(stderr, "stage=%s seconds=%.6f\n", name_, now_seconds() - start_);
    }

private:
    const char* name_;
    double start_;
};

[[maybe_unused]] bool exists(const std::wstring& path) {
    return _waccess(path.c_str(), 0) == 0;
}

#if PROBE_STAGE >= 6
// The two-call protocol: ask for the size, then fill a buffer of exactly that size.
std::wstring driver_folder(DWORD level) {
    DWORD needed = 0;
    DWORD returned = 0;
    wchar_t all[] = L"all";
    if (EnumPrinterDriversW(nullptr, all, level, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::wstring();
    }
    std::string buffer(needed, '\0');
    auto* bytes = reinterpret_cast<BYTE*>(buffer.data());
    if (!EnumPrinterDriversW(nullptr, all, level, bytes, needed, &needed, &returned)) {
        return std::wstring();
    }
    for (DWORD index = 0; index < returned; ++index) {
        const wchar_t* name = level == 2 ? reinterpret_cast<DRIVER_INFO_2W*>(bytes)[index].pName
                                         : reinterpret_cast<DRIVER_INFO_8W*>(bytes)[index].pName;
        const wchar_t* path = level == 2
                                  ? reinterpret_cast<DRIVER_INFO_2W*>(bytes)[index].pDriverPath
                                  : reinterpret_cast<DRIVER_INFO_8W*>(bytes)[index].pszInfPath;
        if (name != nullptr && path != nullptr && std::wcscmp(name, L"Pelmar Omni Printer") == 0) {
            std::wstring folder(path);
            folder.erase(folder.rfind(L'\\') + 1);
            return folder;
        }
    }
    return std::wstring();
}

std::wstring print_processor_folder() {
    DWORD needed = 0;
    if (GetPrintProcessorDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::wstring();
    }
    std::wstring buffer(needed / sizeof(wchar_t) + 1, L'\0');
    if (!GetPrintProcessorDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(buffer.data()),
                                     needed, &needed)) {
        return std::wstring();
    }
    buffer.resize(std::wcslen(buffer.c_str()));
    if (!buffer.empty() && buffer.back() != L'\\') {
        buffer += L'\\';
    }
    return buffer;
}
#endif

#if PROBE_STAGE >= 4
std::wstring vendor_folder(const GUID& id) {
    wchar_t* text = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &text);
    std::wstring folder = SUCCEEDED(result) && text != nullptr ? text : L"";
    CoTaskMemFree(text);
    if (folder.empty()) {
        return folder;
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder + L"Pelmar\\printer";
}
#endif

#if PROBE_STAGE >= 8
void read_version(const wchar_t* path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        return;
    }
    std::string block(size, '\0');
    void* record = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(path, handle, size, block.data())) {
        VerQueryValueW(block.data(), L"\\", &record, &length);
    }
}
#endif

// The table's files and the locations each is looked for in (1, 2, 4, 8, 16).
[[maybe_unused]] constexpr struct {
    unsigned locations;
    const wchar_t* name;
} manifest[] = {
    {0x1D, L"pomnres_en.dll"}, {0x1D, L"pomnres_de.dll"},   {0x1D, L"pomnres_fr.dll"},
    {0x1D, L"pomnres_ja.dll"}, {0x1D, L"pomnres_es.dll"},   {0x1D, L"pomnres_zh-CN.dll"},
    {0x1D, L"pomnres_zh-TW.dll"}, {0x1D, L"pomnres_ko.dll"}, {0x1D, L"pomnres_ru.dll"},
    {0x1D, L"pmomndrv.dll"},   {0x1D, L"pmomnui.dll"},      {0x1D, L"pmxpsomnui.dll"},
    {0x1D, L"omnprn.dll"},     {0x1C, L"pelmaromn.cat"},    {0x1C, L"pelmaromn.inf"},
    {0x1D, L"pelmaromn.txt"},  {0x1D, L"pelmarxps.txt"},
    {0x1D, L"pelmarxpsdrv-pipelineconfig.xml"},              {0x1E, L"pmproc.dll"},
    {0x1D, L"basecapabilities.xml"},
};

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fputs("usage: stage_probe_<n>.exe <path>\n", stderr);
        return 1;
    }
    // An import that is referenced but never called: the loader maps the DLL
    // and runs its initialisation all the same.
#if PROBE_STAGE == 1
    std::fprintf(stderr, "imported=%p\n", reinterpret_cast<void*>(&CoInitializeEx));
#elif PROBE_STAGE == 3
    std::fprintf(stderr, "imported=%p\n", reinterpret_cast<void*>(&SHGetKnownFolderPath));
#elif PROBE_STAGE == 5
    std::fprintf(stderr, "imported=%p\n", reinterpret_cast<void*>(&EnumPrinterDriversW));
#elif PROBE_STAGE == 7
    std::fprintf(stderr, "imported=%p\n", reinterpret_cast<void*>(&GetFileVersionInfoSizeW));
#endif

    std::wstring location_text[17];
#if PROBE_STAGE >= 8
    // The banner comes first, before COM.
    {
        const stage_clock clock("8a");
        wchar_t own_path[MAX_PATH] = {};
        if (GetModuleFileNameW(GetModuleHandleW(nullptr), own_path, MAX_PATH) != 0) {
            read_version(own_path);
        }
    }
#endif
#if PROBE_STAGE >= 2
    {
        const stage_clock clock("2");
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            return fail("CoInitializeEx");
        }
    }
#endif
#if PROBE_STAGE >= 4
    {
        const stage_clock clock("4");
        location_text[4] = vendor_folder(FOLDERID_ProgramFiles);
        location_text[8] = vendor_folder(FOLDERID_ProgramFilesX86);
        for (const int location : {4, 8}) {
            if (!location_text[location].empty() && !exists(location_text[location])) {
                location_text[location].clear();
            }
        }
    }
#endif
#if PROBE_STAGE >= 6
    {
        const stage_clock clock("6");
        location_text[1] = driver_folder(2);
        location_text[16] = driver_folder(8);
        location_text[2] = print_processor_folder();
        for (const int location : {1, 2, 16}) {
            if (!location_text[location].empty() && !exists(location_text[location])) {
                location_text[location].clear();
            }
        }
    }
#endif
    for (const int location : {1, 2, 4, 8, 16}) {
        if (location_text[location].empty()) {
            location_text[location] = L"<Missing>";
        }
    }

    file_digest digest;
    if (const char* failed = hash_file(argv[1], digest)) {
        return fail(failed);
    }
#if PROBE_STAGE >= 8
    {
        const stage_clock clock("8b");
        read_version(argv[1]);
    }
#endif

#if PROBE_STAGE >= 9
    {
        const stage_clock clock("9");
        int absent = 0;
        for (const auto& entry : manifest) {
            for (const int location : {1, 2, 4, 8, 16}) {
                if ((entry.locations & location) == 0) {
                    continue;
                }
                const std::wstring path = location_text[location] + L'\\' + entry.name;
                if (path == argv[1]) {
                    continue;
                }
                const HANDLE other =
                    CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                if (other == INVALID_HANDLE_VALUE) {
                    ++absent;
                } else {
                    CloseHandle(other);
                }
            }
        }
        std::fprintf(stderr, "absent_files=%d\n", absent);
    }
#endif
#if PROBE_STAGE >= 10
    {
        // As the program writes: text gathered in blocks of 4096 characters,
        // each converted to UTF-8 and written with one WriteFile.
        const stage_clock clock("10");
        std::wstring table;
        wchar_t line[512];
        std::swprintf(line, 512, L"%-40ls\t%10ls\t%-25ls\t%-30ls\tDIRECTORY\n", L"HASH",
                      L"SIZE", L"VERSION", L"FILENAME");
        table += line;
        for (const auto& entry : manifest) {
            for (const int location : {1, 2, 4, 8, 16}) {
                if ((entry.locations & location) != 0) {
                    std::swprintf(line, 512, L"%-40ls\t%10ls\t%-25ls\t%-30ls\t%ls\n", L"--",
                                  L"--", L"--", entry.name, location_text[location].c_str());
                    table += line;
                }
            }
        }
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        for (std::size_t done = 0; done < table.size(); done += 4096) {
            const int count = static_cast<int>(std::min<std::size_t>(4096, table.size() - done));
            std::string bytes(static_cast<std::size_t>(count) * 3, '\0');
            const int length = WideCharToMultiByte(CP_UTF8, 0, table.data() + done, count,
                                                   bytes.data(), static_cast<int>(bytes.size()),
                                                   nullptr, nullptr);
            DWORD written = 0;
            WriteFile(output, bytes.data(), static_cast<DWORD>(length), &written, nullptr);
        }
    }
#endif
    std::printf("%s %llu\n", digest.text, digest.size);
    std::fflush(stdout);
#if PROBE_STAGE >= 2
    CoUninitialize();
#endif
    return 0;
}
