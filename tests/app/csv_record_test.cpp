#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "csv_record.h"

namespace {

TEST(csv_record, quotes_what_needs_it_and_guards_every_formula_start) {
    const struct {
        const char* name;
        std::wstring field;
        std::wstring written;
    } cases[] = {
        {"plain", L"pomnres_en.dll", L"pomnres_en.dll"},
        {"comma", L"a,b", L"\"a,b\""},
        {"double quote", L"a\"b", L"\"a\"\"b\""},
        {"line feed", L"a\nb", L"\"a\nb\""},
        {"=", L"=1+1", L"'=1+1"},
        {"+", L"+1", L"'+1"},
        {"-", L"-1", L"'-1"},
        {"@", L"@SUM(A1)", L"'@SUM(A1)"},
        {"TAB", L"\t=1", L"'\t=1"},
        {"carriage return", L"\r=1", L"\"'\r=1\""},
        {"a formula character later", L"a=1", L"a=1"},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.name);
        std::wostringstream out;
        write_csv_record(out, {L"x", expected.field});
        EXPECT_EQ(out.str(), L"x," + expected.written + L"\n");
    }
}

}  // namespace
