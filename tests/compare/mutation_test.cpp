#include <cstdint>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "compare_run.h"
#include "saved_inventory.h"

namespace {

// Damages a saved table as disks, transfers and hands do: flipped bytes,
// a cut, inserted bytes, most likely the ones that matter to the reader.
std::string mutated(std::string bytes, std::mt19937& random) {
    static constexpr char telling_bytes[] =
        "\t\n\r \0-.0123456789abcdef\xEF\xBB\xBF\xFF\xFE\xD8\xDC\xC0";
    const std::string telling(telling_bytes, sizeof telling_bytes - 1);
    const int edits = std::uniform_int_distribution<int>(1, 4)(random);
    for (int edit = 0; edit < edits && !bytes.empty(); ++edit) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
        const char inserted = random() % 2 == 0
                                  ? telling[random() % telling.size()]
                                  : static_cast<char>(random() % 256);
        switch (random() % 4) {
            case 0:
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
                break;
            case 1:
                bytes.resize(at);
                break;
            case 2:
                bytes.insert(at, std::string(1 + random() % 3, inserted));
                break;
            case 3:
                bytes[at] = inserted;
                break;
        }
    }
    return bytes;
}

// Whether `damaged` still holds every row's values in order: each row's text
// up to its directory, and the whole row where its location is missing.
bool keeps_every_value(const std::wstring& table, const std::string& damaged, bool utf16) {
    std::wstring text;
    if (utf16) {
        for (std::size_t at = 0; at + 1 < damaged.size(); at += 2) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(damaged[at]) |
                                         static_cast<unsigned char>(damaged[at + 1]) << 8);
        }
    } else {
        text.resize(damaged.size());
        text.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, damaged.data(), static_cast<int>(damaged.size()),
                                text.data(), static_cast<int>(text.size()))));
    }
    std::size_t found = 0;
    std::size_t start = table.find(L'\n') + 1;
    for (std::size_t end; (end = table.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        std::wstring row = table.substr(start, end - start);
        if (row.find(L"<Missing ") == std::wstring::npos) {
            row.resize(row.rfind(L'\t') + 1);
        }
        if ((found = text.find(row, found)) == std::wstring::npos) {
            return false;
        }
        found += row.size();
    }
    return true;
}

TEST(mutation, damaged_inventories_end_with_0_1_or_2_and_never_a_false_identical) {
    const temp_folder folder(L"mutation");
    const std::wstring table = utility_table();
    const std::string originals[] = {utf8(table), utf16le(with_crlf(table))};
    const std::wstring baseline = folder.write(L"base.txt", originals[0]);
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        const std::string damaged = mutated(originals[round % 2], random);
        const std::wstring inventory = folder.write(L"damaged.txt", damaged);
        const wchar_t* arguments[] = {baseline.c_str(), inventory.c_str()};
        std::wostringstream output;
        std::wostringstream errors;
        const int exit_code = run_compare(arguments, output, errors);
        ASSERT_TRUE(exit_code == 0 || exit_code == 1 || exit_code == 2) << round;
        // Identical only when the damage left every value as it was; a
        // complaint always comes with exit code 2.
        if (exit_code == 0) {
            EXPECT_EQ(output.str(), inventory + L": identical\n") << round;
            EXPECT_TRUE(keeps_every_value(table, damaged, round % 2 == 1)) << round;
        }
        EXPECT_EQ(exit_code == 2, !errors.str().empty()) << round;
    }
}

}  // namespace
