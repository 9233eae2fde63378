#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include "crypt_provider.h"
#include "file_inspector.h"
#include "file_version.h"
#include "import_patch.h"
#include "inspect_test_support.h"
#include "shared_file_stream.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

// sha1sum of pattern(1000), pattern(65537), and 4 GiB of zeros followed by "x".
const std::wstring pattern_1000_digest = L"c9c960a0b925474fab83942cc27d504fc24ac37b";
const std::wstring pattern_65537_digest = L"74c69f8e2c886f87f68d52d16c30e9b4790513c9";
const std::wstring sparse_digest = L"1b3857a494dfae40ab2bc62c3c208ea87c50ceef";

// Where the fixture DLLs are built: next to this program.
std::wstring program_directory() {
    wchar_t path[MAX_PATH] = {};
    const std::wstring text(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return text.substr(0, text.rfind(L'\\'));
}

std::wstring version_of(const wchar_t* file_name) {
    return file_version_string((program_directory() + L"\\" + file_name).c_str());
}

HANDLE open(const std::wstring& path, DWORD access, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void expect_placeholder(const file_info& info, const std::wstring& directory,
                        const std::wstring& file_name) {
    EXPECT_EQ(info.directory(), directory);
    EXPECT_EQ(info.file_name(), file_name);
    EXPECT_EQ(info.size(), file_info::unmeasured);
    EXPECT_EQ(info.version(), L"--");
    EXPECT_EQ(info.hash(), L"--");
}

TEST(file_version_string, gives_the_fixed_file_version_in_plain_decimal) {
    EXPECT_EQ(version_of(L"fixture_10_0_1_65535.dll"), L"10.0.1.65535");
    EXPECT_EQ(version_of(L"fixture_1_2_0_7.dll"), L"1.2.0.7");
}

TEST(file_version_string, gives_n_a_without_a_version_resource_or_without_a_file) {
    EXPECT_EQ(version_of(L"fixture_no_version.dll"), L"N/A");
    EXPECT_EQ(version_of(L"no_such_file.dll"), L"N/A");
}

// A folder for the test's own files, removed with them afterwards.
class temp_files : public ::testing::Test {
protected:
    std::wstring create(const wchar_t* name, const std::string& bytes) const {
        return folder_.write(name, bytes);
    }

    const temp_folder folder_{L"inspect"};
    std::wstring directory = folder_.path();
};

class inspect_file_test : public temp_files {
protected:
    file_info inspect(const wchar_t* file_name, const std::wstring& in) const {
        return file_inspector(provider, in).inspect_file(file_name);
    }
    file_info inspect(const wchar_t* file_name) const { return inspect(file_name, directory); }

    crypt_provider provider;
};

TEST_F(inspect_file_test, gives_the_full_record_of_an_empty_file) {
    create(L"empty.bin", "");
    const file_info info = inspect(L"empty.bin");
    EXPECT_EQ(info.directory(), directory);
    EXPECT_EQ(info.file_name(), L"empty.bin");
    EXPECT_EQ(info.size(), 0u);
    EXPECT_EQ(info.hash(), empty_digest);
    EXPECT_EQ(info.version(), L"N/A");
}

struct read_script {
    std::vector<DWORD> requests;
    decltype(&ReadFile) read = nullptr;
} reads;

BOOL WINAPI counted_read(HANDLE file, void* buffer, DWORD count, DWORD* delivered,
                         OVERLAPPED* overlapped) {
    reads.requests.push_back(count);
    return reads.read(file, buffer, count, delivered, overlapped);
}

TEST_F(inspect_file_test, finds_the_file_through_a_doubled_backslash_and_reads_it_in_64_kib) {
    create(L"data.bin", pattern(65537));
    const std::wstring with_backslash = directory + L"\\";
    const import_patch patch("kernel32.dll", "ReadFile", as_import(counted_read));
    reads = {{}, patch.original<decltype(&ReadFile)>()};
    const file_info info = inspect(L"data.bin", with_backslash);
    EXPECT_EQ(info.directory(), with_backslash);
    EXPECT_EQ(info.size(), 65537u);
    EXPECT_EQ(info.hash(), pattern_65537_digest);
    EXPECT_THAT(reads.requests, ::testing::ElementsAre(65536, 1));
}

TEST_F(inspect_file_test, gives_a_placeholder_where_absent_and_the_version_where_present) {
    const std::wstring missing = L"<Missing Print Processor Directory>";
    expect_placeholder(inspect(L"fixture_1_2_0_7.dll", missing), missing, L"fixture_1_2_0_7.dll");
    expect_placeholder(inspect(L"fixture_1_2_0_7.dll"), directory, L"fixture_1_2_0_7.dll");

    const std::wstring present = program_directory();
    const file_info info = inspect(L"fixture_1_2_0_7.dll", present);
    EXPECT_EQ(info.size(), fs::file_size(present + L"\\fixture_1_2_0_7.dll"));
    EXPECT_EQ(info.version(), L"1.2.0.7");
    EXPECT_EQ(info.hash().size(), 40u);
}

TEST_F(inspect_file_test, gives_a_placeholder_for_a_file_held_without_read_sharing) {
    const HANDLE holder = open(create(L"held.bin", "abc"), GENERIC_READ, FILE_SHARE_WRITE);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    expect_placeholder(inspect(L"held.bin"), directory, L"held.bin");
    CloseHandle(holder);
}

// Resizes the file through a second, writing opener just before the inspection
// rewinds from measuring to hashing.
struct resize_script {
    std::wstring path;
    std::int64_t new_size = 0;
    bool done = false;
    decltype(&SetFilePointerEx) seek = nullptr;
} resize;

BOOL WINAPI resize_then_seek(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position,
                             DWORD method) {
    if (method == FILE_BEGIN && distance.QuadPart == 0 && !resize.done) {
        resize.done = true;
        const HANDLE writer = open(resize.path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        LARGE_INTEGER end;
        end.QuadPart = resize.new_size;
        EXPECT_TRUE(resize.seek(writer, end, nullptr, FILE_BEGIN) && SetEndOfFile(writer));
        CloseHandle(writer);
    }
    return resize.seek(file, distance, position, method);
}

TEST_F(inspect_file_test, hashes_the_measured_length_of_a_file_that_changes_length) {
    const import_patch patch("kernel32.dll", "SetFilePointerEx", as_import(resize_then_seek));
    resize = {create(L"shrinks.bin", pattern(100000)), 50000, false,
              patch.original<decltype(&SetFilePointerEx)>()};
    expect_placeholder(inspect(L"shrinks.bin"), directory, L"shrinks.bin");
    EXPECT_TRUE(resize.done);

    resize = {create(L"grows.bin", pattern(1000)), 70000, false, resize.seek};
    const file_info grown = inspect(L"grows.bin");
    EXPECT_TRUE(resize.done);
    EXPECT_EQ(grown.size(), 1000u);
    EXPECT_EQ(grown.hash(), pattern_1000_digest);
}

TEST_F(inspect_file_test, passes_a_crypto_failure_out_and_closes_the_file) {
    const std::wstring path = create(L"data.bin", "abc");
    {
        const scripted_crypt failing(crypt_call::hash_data, static_cast<DWORD>(NTE_BAD_HASH));
        EXPECT_EQ(code_thrown<pelmar::crypto::crypto_exception>([&] { inspect(L"data.bin"); }),
                  static_cast<DWORD>(NTE_BAD_HASH));
        EXPECT_EQ(script.destroyed, 1);
    }
    // Only a closed file can be opened without sharing.
    const HANDLE exclusive = open(path, GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    CloseHandle(exclusive);
}

TEST_F(inspect_file_test, keeps_the_true_size_and_digest_of_a_file_past_4_gib) {
    const HANDLE file = open(create(L"sparse.bin", ""), GENERIC_WRITE, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    // Sparse where the file system allows it, so the 4 GiB of zeros take no disk space.
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER four_gib;
    four_gib.QuadPart = 0x100000000LL;
    DWORD written = 0;
    const bool made = SetFilePointerEx(file, four_gib, nullptr, FILE_BEGIN) &&
                      WriteFile(file, "x", 1, &written, nullptr) && written == 1;
    CloseHandle(file);
    ASSERT_TRUE(made);

    const file_info info = inspect(L"sparse.bin");
    EXPECT_EQ(info.size(), 0x100000001ull);
    EXPECT_EQ(info.hash(), sparse_digest);
}

// `block` with its root record's length, its first WORD, set to `length`.
std::string declaring_length(std::string block, WORD length) {
    std::memcpy(&block[0], &length, sizeof length);
    return block;
}

// Version blocks crafted byte by byte, since the resource compiler refuses to
// write a malformed one. The root record "VS_VERSION_INFO" claims
// `value_length` bytes of value; `rest` follows it, and the block ends there.
std::string version_block(WORD value_length, const std::string& rest) {
    const wchar_t key[] = L"VS_VERSION_INFO";
    std::string block(6, '\0');
    block.append(reinterpret_cast<const char*>(key), sizeof key).append(2, '\0');
    block += rest;
    std::memcpy(&block[2], &value_length, sizeof value_length);
    return declaring_length(block, static_cast<WORD>(block.size()));
}

std::string fixed_1_2_3_4() {
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = 0x00010002;
    fixed.dwFileVersionLS = 0x00030004;
    return std::string(reinterpret_cast<const char*>(&fixed), sizeof fixed);
}

class crafted_version_test : public temp_files {
protected:
    // The version text of a DLL that carries `resource` as its version resource.
    std::wstring version_with(const std::string& resource) {
        const std::wstring path = directory + L"\\crafted.dll";
        const bool written =
            CopyFileW((program_directory() + L"\\fixture_no_version.dll").c_str(), path.c_str(),
                      FALSE) &&
            replace_version(path, resource);
        EXPECT_TRUE(written);
        return file_version_string(path.c_str());
    }

private:
    static bool replace_version(const std::wstring& path, std::string resource) {
        const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
        if (update == nullptr) {
            return false;
        }
        const BOOL added = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                           resource.data(), static_cast<DWORD>(resource.size()));
        return EndUpdateResourceW(update, !added) && added;
    }
};

TEST_F(crafted_version_test, gives_n_a_for_a_root_value_that_does_not_hold_the_fixed_information) {
    const std::string fixed = fixed_1_2_3_4();
    const std::string whole = version_block(sizeof(VS_FIXEDFILEINFO), fixed);
    const struct {
        std::string resource;
        std::wstring version;
    } cases[] = {
        // A whole record shows that the crafted bytes reach the service as written.
        {whole, L"1.2.3.4"},
        {version_block(0, fixed), L"N/A"},
        {version_block(sizeof(VS_FIXEDFILEINFO) - 1, fixed), L"N/A"},
        // Blocks that end right after the value.
        {version_block(8, fixed.substr(0, 8)), L"N/A"},
        {version_block(0, ""), L"N/A"},
        // Files cut short of the value that their header claims: the
        // service's buffer for them ends inside the value or before it.
        {whole.substr(0, 8), L"N/A"},
        {whole.substr(0, 40), L"N/A"},
        // A value that runs past the block's own length: read from beyond the
        // block, the service's marker after it would show as 22578.17734.0.0.
        {version_block(sizeof(VS_FIXEDFILEINFO), fixed.substr(0, 8)), L"N/A"},
        // A block whose length ends before its value, all bytes present.
        {declaring_length(whole, 40), L"N/A"},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(version_with(cases[index].resource), cases[index].version);
    }
}

TEST_F(crafted_version_test, gives_n_a_or_a_version_for_a_randomly_damaged_block) {
    const std::string valid = version_block(sizeof(VS_FIXEDFILEINFO), fixed_1_2_3_4());
    const std::wregex well_formed(LR"(N/A|(\d{1,5}\.){3}\d{1,5})");
    std::mt19937 random(200);
    for (int mutant = 0; mutant < 200; ++mutant) {
        std::string damaged = valid;
        // Every byte of this block is header or value, on which the text
        // depends; a cut block claims more than the file holds.
        for (int count = 1 + random() % 3; count > 0; --count) {
            damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        if (random() % 4 == 0) {
            damaged.resize(1 + random() % damaged.size());
        }
        SCOPED_TRACE(mutant);
        EXPECT_TRUE(std::regex_match(version_with(damaged), well_formed));
    }
}

using shared_file_stream_test = temp_files;

TEST_F(shared_file_stream_test, reads_bytes_and_positions_while_another_opener_writes) {
    const std::wstring path = create(L"digits.txt", "0123456789");
    const HANDLE writer = open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    shared_file_stream stream(path.c_str());
    ASSERT_TRUE(stream.good());
    // peek leaves one byte buffered ahead of the stream's position.
    EXPECT_EQ(stream.peek(), '0');
    EXPECT_EQ(stream.tellg(), 0);
    char bytes[4] = {};
    stream.read(bytes, 4);
    EXPECT_EQ(std::string(bytes, 4), "0123");
    EXPECT_EQ(stream.get(), '4');
    EXPECT_EQ(stream.tellg(), 5);
    stream.seekg(-2, std::ios::end);
    EXPECT_EQ(stream.get(), '8');
    CloseHandle(writer);

    EXPECT_TRUE(shared_file_stream((directory + L"\\absent.txt").c_str()).fail());
}

}  // namespace
