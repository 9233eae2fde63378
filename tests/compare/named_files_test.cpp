#include <string>

#include <gtest/gtest.h>

#include "named_files.h"

namespace {

TEST(named_files, wildcards_match_as_cmd_matches_them) {
    // Names and patterns as file_name_key gives them.
    const struct {
        const char* rule;
        const wchar_t* pattern;
        const wchar_t* name;
        bool matches;
    } cases[] = {
        {"a name matches itself", L"A.TXT", L"A.TXT", true},
        {"a name matches no other", L"A.TXT", L"B.TXT", false},
        {"a pattern without a star is no prefix", L"A", L"AB", false},
        {"? is one character", L"?.TXT", L"A.TXT", true},
        {"? is never none", L"A?", L"A", false},
        {"? is never two", L"?.TXT", L"AB.TXT", false},
        {"* is any run", L"*.TXT", L"ABC.TXT", true},
        {"* is also none", L"A*", L"A", true},
        {"* backtracks", L"*AB", L"AAB", true},
        {"* backtracks past an earlier match", L"*.TXT", L"A.TXT.TXT", true},
        {"* ends where the rest cannot match", L"*.TXT", L"A.TXT_OLD", false},
        {"a final . asks for no extension", L"*.", L"B", true},
        {"a final . refuses an extension", L"*.", L"B.TXT", false},
        {"a final .* matches no extension", L"?.*", L"B", true},
        {"a final .* matches any extension", L"*.*", L"A.MD", true},
        {"a . before the end is no final .*", L"*.*X", L"B", false},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.rule);
        EXPECT_EQ(pelmar::compare::matches_wildcard(expected.pattern, expected.name),
                  expected.matches);
    }
}

}  // namespace
