#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console_output.h"
#include "import_patch.h"
#include "test_helpers.h"

namespace {

// What each call of a scripted write was handed, in order.
std::vector<std::string> file_writes;
std::vector<std::wstring> console_writes;

BOOL WINAPI recorded_write_file(HANDLE, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
    file_writes.emplace_back(static_cast<const char*>(data), size);
    *written = size;
    return TRUE;
}

BOOL WINAPI recorded_write_console(HANDLE, const VOID* text, DWORD count, LPDWORD written,
                                   LPVOID) {
    console_writes.emplace_back(static_cast<const wchar_t*>(text), count);
    *written = count;
    return TRUE;
}

// Success with nothing written, and an unrelated error left from before.
template <typename last_argument>
BOOL WINAPI writes_nothing(HANDLE, const VOID*, DWORD, LPDWORD written, last_argument) {
    SetLastError(ERROR_ACCESS_DENIED);
    *written = 0;
    return TRUE;
}

BOOL WINAPI any_console_mode(HANDLE, LPDWORD mode) {
    *mode = 0;
    return TRUE;
}

}  // namespace

TEST(std_handle_buffer, writes_utf8_with_cr_lf_line_ends_to_a_file) {
    const temp_file file;
    {
        const auto buffer = buffer_on(file.handle());
        std::wostream out(buffer.get());
        out << L"Gr\u00f6\u00dfe\n\n\u65e5\u672c \U0001F5A8\r\n" << std::flush;
        EXPECT_TRUE(out.good());
        EXPECT_EQ(buffer->error_code(), 0u);
    }
    // As in the C runtime's text mode, a carriage return before a line feed
    // stays and gains one of its own.
    EXPECT_EQ(file.contents(),
              "Gr\xc3\xb6\xc3\x9f" "e\r\n\r\n\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x96\xa8\r\r\n");
}

TEST(std_handle_buffer, keeps_pairs_whole_across_a_full_buffer) {
    const struct {
        std::wstring last;  // what follows 4095 characters, so the buffer fills at its first unit
        std::vector<std::string> writes;
    } cases[] = {
        {L"\nz", {std::string(4095, 'a') + "\r\n", "z"}},
        // The high surrogate waits for its other half; the destructor writes it.
        {L"\U0001F5A8z", {std::string(4095, 'a'), "\xf0\x9f\x96\xa8z"}},
    };
    const temp_file file;
    const import_patch write("kernel32.dll", "WriteFile", as_import(recorded_write_file));
    for (const auto& item : cases) {
        SCOPED_TRACE("row " + std::to_string(&item - cases));
        file_writes.clear();
        {
            const auto buffer = buffer_on(file.handle());
            std::wostream out(buffer.get());
            out << std::wstring(4095, L'a') << item.last;
        }
        EXPECT_EQ(file_writes, item.writes);
    }
}

TEST(std_handle_buffer, console_gets_the_text_as_it_is) {
    const import_patch mode("kernel32.dll", "GetConsoleMode", as_import(any_console_mode));
    const import_patch write("kernel32.dll", "WriteConsoleW", as_import(recorded_write_console));
    console_writes.clear();
    {
        const auto buffer = buffer_on(nullptr);
        std::wostream out(buffer.get());
        out << L"a\nb \U0001F5A8\n";
    }
    EXPECT_EQ(console_writes, std::vector<std::wstring>{L"a\nb \U0001F5A8\n"});
}

TEST(std_handle_buffer, write_of_nothing_is_a_write_fault) {
    const temp_file file;
    for (const bool console : {false, true}) {
        SCOPED_TRACE(console);
        const import_patch mode("kernel32.dll", "GetConsoleMode",
                                as_import(console ? any_console_mode
                                                  : stand_in<decltype(GetConsoleMode)>::fail));
        const import_patch write_file("kernel32.dll", "WriteFile",
                                      as_import(writes_nothing<LPOVERLAPPED>));
        const import_patch write_console("kernel32.dll", "WriteConsoleW",
                                         as_import(writes_nothing<LPVOID>));
        const auto buffer = buffer_on(file.handle());
        std::wostream out(buffer.get());
        out << L"text" << std::flush;
        EXPECT_TRUE(out.bad());
        EXPECT_EQ(buffer->error_code(), static_cast<std::uint32_t>(ERROR_WRITE_FAULT));
    }
}

TEST(std_handle_buffer, failed_write_leaves_the_stream_bad_with_the_handle_error) {
    const temp_file file;
    const HANDLE read_only = file.open_read_only();
    {
        const auto buffer = buffer_on(read_only);
        std::wostream out(buffer.get());
        out << L"text" << std::flush;
        EXPECT_TRUE(out.bad());
        EXPECT_EQ(buffer->error_code(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(write_error_code(out), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    }
    CloseHandle(read_only);

    std::wostringstream other;
    EXPECT_EQ(write_error_code(other), static_cast<std::uint32_t>(ERROR_WRITE_FAULT));
}
