// The rules that judge an image from what was read of it, without Windows'
// verdicts: which signatures leave an image silent, and which bytes make a
// file an image.
#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <wintrust.h>

#include "claim_trust.h"
#include "executable_image.h"
#include "temp_folder.h"
#include "unique_file_handle.h"

using pelmar::signatures::named_signers;
using pelmar::win::trust_result;

TEST(image_policy, only_windows_or_a_named_signer_leaves_an_image_silent) {
    const std::vector<unsigned char> pinned(20, 0xAB);
    const trust_result windows{0, L"Microsoft Windows", {}};
    const trust_result vendor{0, L"HP Inc.", {pinned}};
    const trust_result author{0, L"Open Source Developer, Benjamin Delpy", {}};
    const trust_result expired{static_cast<std::int32_t>(CERT_E_EXPIRED), L"HP Inc.", {}};
    const trust_result none{static_cast<std::int32_t>(TRUST_E_NOSIGNATURE), L"", {}};
    const named_signers nobody{};
    const named_signers hp{{L"HP Inc."}, {}};
    const named_signers hp_pinned{{}, {pinned}};
    const struct {
        const char* name;
        bool claimed;
        const trust_result& embedded;
        bool listed;
        const named_signers& named;
        bool trusted;
    } rows[] = {
        {"claimed, signed by Windows' in-box signer", true, windows, false, nobody, true},
        {"claimed, in a system catalog under its own name", true, none, true, nobody, true},
        {"claimed, signed by a vendor no one named", true, vendor, false, nobody, false},
        {"claimed, signed by an attack's author", true, author, false, hp, false},
        {"claimed, signed by a vendor named", true, vendor, false, hp, true},
        {"claimed, signed by a vendor pinned", true, vendor, false, hp_pinned, true},
        {"claimed, the named vendor's signature expired", true, expired, false, hp, false},
        {"claimed, unsigned", true, none, false, hp, false},
        {"unclaimed, signed by Windows' in-box signer", false, windows, false, nobody, false},
        {"unclaimed, in a system catalog", false, none, true, hp, false},
        {"unclaimed, signed by a vendor named", false, vendor, false, hp, true},
        {"unclaimed, signed by a vendor no one named", false, vendor, false, nobody, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(pelmar::signatures::trusted_image(
                      {.claimed = row.claimed, .embedded = row.embedded,
                       .listed_by_system_catalog = row.listed},
                      row.named),
                  row.trusted);
    }
}

TEST(image_policy, an_image_is_mz_and_pe_where_its_dos_header_says) {
    // A DOS header whose e_lfanew (at 0x3C) is `at`, padded to `size` bytes,
    // with `pe` written at `pe_at`.
    const auto file = [](std::int32_t at, std::size_t size, std::optional<std::size_t> pe_at) {
        std::string bytes(size, '\0');
        bytes.replace(0, 2, "MZ");
        bytes.replace(0x3C, 4, reinterpret_cast<const char*>(&at), 4);
        if (pe_at) {
            bytes.replace(*pe_at, 4, std::string("PE\0\0", 4));
        }
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
        bool image;
    } rows[] = {
        {"MZ alone", "MZ", false},
        {"a DOS header and PE where it says", file(0x80, 0x100, 0x80), true},
        {"a DOS header, no PE", file(0x80, 0x100, std::nullopt), false},
        {"PE, but not where the header says", file(0x80, 0x100, 0x90), false},
        {"the header points past the end", file(0x1000, 0x100, std::nullopt), false},
        {"the header points before the start", file(-4, 0x100, std::nullopt), false},
        {"PE without MZ", std::string("ZM") + file(0x80, 0x100, 0x80).substr(2), false},
    };
    const temp_folder folder(L"image_policy");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring path = folder.write(L"file.bin", row.bytes);
        const unique_file_handle opened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(opened);
        EXPECT_EQ(pelmar::signatures::is_executable_image(opened.get()), row.image);
    }
}
