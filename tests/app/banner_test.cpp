#include <cstring>
#include <cwchar>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "banner.h"
#include "import_patch.h"
#include "test_helpers.h"

namespace {

const std::wstring title = L"Pelmar Omni Print Driver Information Utility";
const std::wstring notice = L"\nCopyright (c) Pelmar. All rights reserved.\n\n";

std::wstring banner_text() {
    std::wostringstream out;
    print_banner(out);
    return out.str();
}

// The real program, as a Windows path.
std::wstring program_path() {
    std::wstring path = L"Z:";
    for (const char* c = PELMAR_PROGRAM_PATH; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    }
    return path;
}

// Where a real block holds the record: after the root record's header.
constexpr std::size_t record_offset = 40;

struct version_script {
    DWORD size = 256;
    bool block_readable = true;
    bool has_fixed_record = true;
    VS_FIXEDFILEINFO fixed{};
    UINT length = sizeof(VS_FIXEDFILEINFO);
    // The root record's own length, the block's first WORD.
    WORD declared_length = record_offset + sizeof(VS_FIXEDFILEINFO);
    int size_calls = 0;
};
version_script script;

DWORD WINAPI scripted_size(LPCWSTR, LPDWORD handle) {
    ++script.size_calls;
    *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return script.size;
}

BOOL WINAPI scripted_block(LPCWSTR, DWORD, DWORD, LPVOID block) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    std::memcpy(block, &script.declared_length, sizeof script.declared_length);
    std::memcpy(static_cast<char*>(block) + record_offset, &script.fixed, sizeof script.fixed);
    return script.block_readable;
}

BOOL WINAPI scripted_query(LPCVOID block, LPCWSTR, LPVOID* record, PUINT length) {
    if (!script.has_fixed_record) {
        return FALSE;
    }
    *record = const_cast<char*>(static_cast<const char*>(block)) + record_offset;
    *length = script.length;
    return TRUE;
}

// The version-resource service, scripted, for a program that has a version.
class scripted_banner : public testing::Test {
protected:
    scripted_banner() { script = {}; }

    import_patch size_{"version.dll", "GetFileVersionInfoSizeW", as_import(scripted_size)};
    import_patch block_{"version.dll", "GetFileVersionInfoW", as_import(scripted_block)};
    import_patch query_{"version.dll", "VerQueryValueW", as_import(scripted_query)};
};

}  // namespace

TEST(banner, shows_the_version_from_the_program_resource) {
    static std::wstring path;
    path = program_path();
    const import_patch module_name(
        "kernel32.dll", "GetModuleFileNameW", as_import([](HMODULE, LPWSTR buffer, DWORD size) {
            std::wcsncpy(buffer, path.c_str(), size);
            return static_cast<DWORD>(path.size());
        }));
    EXPECT_EQ(banner_text(), title + L" 1.0.0.1" + notice);
}

TEST(banner, program_without_version_resource_shows_the_title_alone) {
    EXPECT_EQ(banner_text(), title + notice);
}

TEST_F(scripted_banner, writes_version_words_unpadded_and_ungrouped) {
    script.fixed.dwFileVersionMS = 0x0000FFFF;
    script.fixed.dwFileVersionLS = 0xFFFF0000;
    EXPECT_EQ(banner_text(), title + L" 0.65535.65535.0" + notice);
}

TEST_F(scripted_banner, unreadable_version_block_leaves_the_title_alone) {
    script.size = 0;
    EXPECT_EQ(banner_text(), title + notice);
    script.size = 256;
    script.block_readable = false;
    EXPECT_EQ(banner_text(), title + notice);
}

TEST_F(scripted_banner, block_without_fixed_record_leaves_the_title_and_a_space) {
    script.has_fixed_record = false;
    EXPECT_EQ(banner_text(), title + L" " + notice);
}

TEST_F(scripted_banner, fixed_record_shorter_than_its_structure_leaves_the_title_and_a_space) {
    script.fixed.dwFileVersionMS = 0x00010000;
    script.length = sizeof(VS_FIXEDFILEINFO) - 1;
    EXPECT_EQ(banner_text(), title + L" " + notice);
}

TEST_F(scripted_banner, fixed_record_beyond_the_block_s_declared_length_leaves_the_title_and_a_space) {
    script.fixed.dwFileVersionMS = 0x00010000;
    script.declared_length = record_offset + sizeof(VS_FIXEDFILEINFO) - 1;
    EXPECT_EQ(banner_text(), title + L" " + notice);
}

TEST_F(scripted_banner, unknown_module_path_skips_the_version) {
    const import_patch module_name(
        "kernel32.dll", "GetModuleFileNameW",
        as_import(stand_in<decltype(GetModuleFileNameW), ERROR_INSUFFICIENT_BUFFER>::fail));
    EXPECT_EQ(banner_text(), title + notice);
    EXPECT_EQ(script.size_calls, 0);
}
