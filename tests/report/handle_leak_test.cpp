#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>
#include <shlobj.h>
#include <objbase.h>

#include "import_patch.h"
#include "scripted_crypt.h"
#include "install_location.h"
#include "manifest_entry.h"
#include "report_writer.h"
#include "win32_exception.h"

namespace {

// Kernel handles open in this process. Wine's GetProcessHandleCount reports
// 0 whatever is open, so there every possible handle value is asked about.
std::size_t open_handles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    std::size_t probed = 0;
    for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        probed += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return probed;
}

// A Program Files folder of the test's own, with the vendor folder under it.
struct program_files {
    std::wstring root;
    std::wstring vendor;
    std::vector<std::wstring> files;
};
program_files folder;

void write_file(const std::wstring& name, std::size_t size) {
    const std::wstring path = folder.vendor + L"\\" + name;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr);
    std::vector<unsigned char> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<unsigned char>(index * 7);
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    folder.files.push_back(path);
}

HRESULT WINAPI scripted_known_folder(REFKNOWNFOLDERID id, DWORD, HANDLE, PWSTR* path) {
    *path = nullptr;
    if (id != FOLDERID_ProgramFiles) {
        return E_FAIL;
    }
    const std::size_t bytes = (folder.root.size() + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
    CopyMemory(*path, folder.root.c_str(), bytes);
    return S_OK;
}

// Files of one read, of two reads and of none, and one that is absent: every
// way in which a row opens a file, or tries to.
const manifest_entry entries[] = {
    {program_files_directory, L"one_read.bin"},
    {program_files_directory, L"two_reads.bin"},
    {program_files_directory, L"empty.bin"},
    {program_files_directory, L"absent.bin"},
};

class handle_leak_test : public testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder.root = temp + (L"pelmar_handles_" + std::to_wstring(GetCurrentProcessId()));
        folder.vendor = folder.root + L"\\Pelmar\\printer";
        CreateDirectoryW(folder.root.c_str(), nullptr);
        CreateDirectoryW((folder.root + L"\\Pelmar").c_str(), nullptr);
        CreateDirectoryW(folder.vendor.c_str(), nullptr);
        write_file(L"one_read.bin", 1000);
        write_file(L"two_reads.bin", 70000);
        write_file(L"empty.bin", 0);
    }

    static void TearDownTestSuite() {
        for (const auto& path : folder.files) {
            DeleteFileW(path.c_str());
        }
        RemoveDirectoryW(folder.vendor.c_str());
        RemoveDirectoryW((folder.root + L"\\Pelmar").c_str());
        RemoveDirectoryW(folder.root.c_str());
    }

    std::wstring report() {
        std::wostringstream out;
        print_report(std::begin(entries), std::end(entries), out);
        return out.str();
    }

    // Fails the second read of the second file, while that file is open.
    void report_failing_midway() {
        script.failing = crypt_call::hash_data;
        script.code = static_cast<DWORD>(NTE_FAIL);
        script.failing_hash_data = 3;
        script.hash_data_calls = 0;
        EXPECT_EQ(code_thrown<pelmar::crypto::crypto_exception>([this] { report(); }),
                  static_cast<std::uint32_t>(NTE_FAIL));
        EXPECT_EQ(script.hash_data_calls, 3);
    }

    import_patch known_folder_{"shell32.dll", "SHGetKnownFolderPath",
                               as_import(scripted_known_folder)};
    const scripted_crypt crypt_;
};

// Hashes and providers that are open: created or acquired, and not destroyed
// or released.
int open_hashes() {
    return script.created - script.destroyed;
}

int open_providers() {
    return script.acquired - script.released;
}

}  // namespace

TEST_F(handle_leak_test, the_count_sees_one_more_open_file) {
    const std::size_t before = open_handles();
    const HANDLE file = CreateFileW(folder.files.front().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open_handles(), before + 1);
    CloseHandle(file);
    EXPECT_EQ(open_handles(), before);
}

// Each test runs the report once before it counts: the first run loads what
// stays loaded (the provider's library, the version service, registry keys
// that the system caches) and resolves the location for the whole process,
// through the scripted known folder, since no other test of this program
// asks for a Program Files location.

TEST_F(handle_leak_test, a_complete_report_returns_every_handle) {
    const std::wstring first = report();
    // The files were really read: the empty one has its digest.
    ASSERT_NE(first.find(L"da39a3ee5e6b4b0d3255bfef95601890afd80709"), std::wstring::npos) << first;
    const std::size_t before = open_handles();
    EXPECT_EQ(report(), first);
    EXPECT_EQ(open_handles(), before);
    EXPECT_EQ(script.hash_data_calls, 6);
    EXPECT_EQ(open_hashes(), 0);
    EXPECT_EQ(open_providers(), 0);
}

TEST_F(handle_leak_test, a_hash_failing_midway_through_a_file_returns_every_handle) {
    // Twice: the first exception of a process costs handles of its own, which
    // the threads library beneath the C++ runtime keeps (an event, semaphores,
    // the main thread's handle).
    report_failing_midway();
    const std::size_t before = open_handles();
    report_failing_midway();
    EXPECT_EQ(open_handles(), before);
    EXPECT_EQ(open_hashes(), 0);
    EXPECT_EQ(open_providers(), 0);
}
