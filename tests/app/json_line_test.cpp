#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "json_line.h"

namespace {

TEST(json_line, escapes_what_would_end_forge_or_break_a_record) {
    const struct {
        const char* name;
        std::wstring value;
        std::wstring written;
    } cases[] = {
        {"plain, with non-ASCII letters", L"Zo\u00EB \u65E5\u672C", L"\"Zo\u00EB \u65E5\u672C\""},
        {"double quote and backslash", L"a\"b\\c", L"\"a\\\"b\\\\c\""},
        {"line feed, carriage return, tab", L"a\n\r\tb", L"\"a\\u000A\\u000D\\u0009b\""},
        {"C1 control and line separator", L"\u0085\u2028", L"\"\\u0085\\u2028\""},
        {"bidirectional controls", L"\u202Egpj.exe\u2066", L"\"\\u202Egpj.exe\\u2066\""},
        {"a surrogate pair stays a character", L"\xD83D\xDE00", L"\"\xD83D\xDE00\""},
        {"unpaired surrogates", L"\xDE00\xD83Dx\xD83D", L"\"\\uDE00\\uD83Dx\\uD83D\""},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(json_string(expected.value), expected.written);
    }
}

TEST(json_line, writes_one_object_per_line_in_the_order_given) {
    std::wostringstream out;
    json_line().text("file", L"x.dll").text_or_null("signer", std::nullopt).number("size", 42)
        .number_or_null("sha1", std::nullopt).write(out);
    json_line().number("exit_code", 0).write(out);
    EXPECT_EQ(out.str(), L"{\"file\":\"x.dll\",\"signer\":null,\"size\":42,\"sha1\":null}\n"
                         L"{\"exit_code\":0}\n");
}

}  // namespace
