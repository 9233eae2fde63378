#include <ostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "console_output.h"
#include "test_helpers.h"

TEST(std_handle_buffer, writes_utf8_to_a_file) {
    const temp_file file;
    {
        const auto buffer = buffer_on(file.handle());
        std::wostream out(buffer.get());
        out << L"Gr\u00f6\u00dfe \u65e5\u672c \U0001F5A8\n" << std::flush;
        EXPECT_TRUE(out.good());
        EXPECT_EQ(buffer->error_code(), 0u);
    }
    EXPECT_EQ(file.contents(),
              "Gr\xc3\xb6\xc3\x9f" "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x96\xa8\n");
}

TEST(std_handle_buffer, keeps_a_surrogate_pair_whole_across_a_full_buffer) {
    const temp_file file;
    {
        // The high surrogate takes the buffer's last place; the destructor
        // writes what is left.
        const auto buffer = buffer_on(file.handle());
        std::wostream out(buffer.get());
        out << std::wstring(4095, L'a') << L"\U0001F5A8z";
    }
    EXPECT_EQ(file.contents(), std::string(4095, 'a') + "\xf0\x9f\x96\xa8z");
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
