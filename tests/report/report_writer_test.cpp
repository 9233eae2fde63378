#include <cstdint>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "file_info.h"
#include "manifest_entry.h"
#include "report_writer.h"
#include "scripted_crypt.h"
#include "table_layout.h"
#include "win32_exception.h"

namespace {

std::wstring spaces(std::size_t count) {
    return std::wstring(count, L' ');
}

const std::wstring header = L"HASH" + spaces(36) + L"\t" + spaces(6) + L"SIZE\tVERSION" +
                            spaces(18) + L"\tFILENAME" + spaces(22) + L"\tDIRECTORY\n";
const std::wstring digest = L"da39a3ee5e6b4b0d3255bfef95601890afd80709";

class print_report_test : public testing::Test {
protected:
    const scripted_crypt crypt_;
    std::wostringstream out;
};

}  // namespace

TEST_F(print_report_test, empty_range_writes_the_header_and_uses_one_provider) {
    const manifest_entry none[1] = {};
    print_report(none, none, out);
    EXPECT_EQ(out.str(), header);
    EXPECT_EQ(script.acquired, 1);
    EXPECT_EQ(script.released, 1);
    EXPECT_FALSE(script.container_named);
    EXPECT_EQ(script.provider_name, L"Microsoft Enhanced RSA and AES Cryptographic Provider");
    EXPECT_EQ(script.type, static_cast<DWORD>(PROV_RSA_AES));
    EXPECT_EQ(script.flags, static_cast<DWORD>(CRYPT_VERIFYCONTEXT));
}

TEST_F(print_report_test, entries_without_a_known_location_bit_write_no_rows) {
    const manifest_entry entries[] = {{0, L"none.dll"}, {0xFFFFFFE0, L"high.dll"}};
    print_report(std::begin(entries), std::end(entries), out);
    EXPECT_EQ(out.str(), header);
    EXPECT_EQ(script.released, 1);
}

TEST_F(print_report_test, refused_provider_throws_its_code_before_any_output) {
    script.failing = crypt_call::acquire;
    script.code = static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF);
    const manifest_entry entries[] = {{0x1D, L"pmomnui.dll"}};
    EXPECT_EQ(code_thrown<pelmar::crypto::crypto_exception>(
                  [&] { print_report(std::begin(entries), std::end(entries), out); }),
              0x80090017u);
    EXPECT_EQ(out.str(), L"");
    EXPECT_EQ(script.released, 0);
}

TEST(print_row, writes_fixed_width_columns_separated_by_single_tabs) {
    const auto sized_row = [](const std::wstring& size_column) {
        return digest + L"\t" + size_column + L"\tN/A" + spaces(22) + L"\tpmomnui.dll" +
               spaces(19) + L"\tC:\\drv\\";
    };
    const auto sized = [](std::uint64_t size) {
        return file_info(L"C:\\drv\\", L"pmomnui.dll", size, L"N/A", digest);
    };
    const struct {
        file_info record;
        std::wstring line;
    } cases[] = {
        {file_info(L"<Missing Printer Driver Directory>", L"pomnres_en.dll",
                   file_info::unmeasured, L"--", L"--"),
         L"--" + spaces(38) + L"\t" + spaces(8) + L"--\t--" + spaces(23) + L"\tpomnres_en.dll" +
             spaces(16) + L"\t<Missing Printer Driver Directory>"},
        {file_info(L"C:\\Program Files\\Pelmar\\printer", L"pmomnui.dll", 123456,
                   L"10.0.1.65535", digest),
         digest + L"\t" + spaces(4) + L"123456\t10.0.1.65535" + spaces(13) + L"\tpmomnui.dll" +
             spaces(19) + L"\tC:\\Program Files\\Pelmar\\printer"},
        {file_info(L"C:\\drv\\", L"pelmarxpsdrv-pipelineconfig.xml", 1, L"N/A", digest),
         digest + L"\t" + spaces(9) + L"1\tN/A" + spaces(22) +
             L"\tpelmarxpsdrv-pipelineconfig.xml\tC:\\drv\\"},
        {sized(0), sized_row(spaces(9) + L"0")},
        {sized(4294967294), sized_row(L"4294967294")},
        {sized(4294967295), sized_row(L"4294967295")},
        {sized(5368709120), sized_row(L"5368709120")},
        {sized(18446744073709551614u), sized_row(L"18446744073709551614")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE("row " + std::to_string(&test - cases));
        std::wostringstream fresh;
        print_row(fresh, test.record) << L'|';
        EXPECT_EQ(fresh.str(), test.line + L'|');

        // Whatever base and alignment the stream was left with.
        std::wostringstream used;
        used << std::hex << std::showbase << std::internal;
        print_row(used, test.record);
        EXPECT_EQ(used.str(), test.line);
    }
}
