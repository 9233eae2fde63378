#include <algorithm>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "saved_inventory.h"

namespace {

// Damages a saved table as disks, transfers and hands do: flipped bits, a
// cut, inserted bytes, often ones that matter to the reader.
std::string damaged(std::string bytes, std::mt19937& generator) {
    static constexpr char telling[] = "\t\n\r \0-.09af\xEF\xBB\xBF\xFF\xFE\xD8\xDC\xC0";
    for (int edit = 1 + generator() % 4; edit > 0 && !bytes.empty(); --edit) {
        const std::size_t at = generator() % bytes.size();
        const char byte = generator() % 2 == 0 ? telling[generator() % (sizeof telling - 1)]
                                               : static_cast<char>(generator());
        switch (generator() % 3) {
            case 0:
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << generator() % 8));
                break;
            case 1:
                // Copies stop short, most often within the last lines.
                bytes.resize(generator() % 2 == 0
                                 ? at
                                 : bytes.size() - 1 - at % std::min<std::size_t>(bytes.size(), 300));
                break;
            default:
                bytes.insert(at, 1 + generator() % 3, byte);
        }
    }
    return bytes;
}

// Whether `bytes` still hold the table's header and then every row, each
// whole but for the folder of a location that exists, each ended, and
// nothing after the last row but empty lines.
bool keeps_every_value(const std::wstring& table, const std::string& bytes, bool utf16) {
    std::wstring text(bytes.size(), L'\0');
    if (utf16) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    } else {
        text.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                text.data(), static_cast<int>(text.size()))));
    }
    std::wistringstream original(table);
    std::wistringstream damaged(text);
    std::wstring expected;
    std::wstring line;
    const auto next = [&damaged, &line] {
        // A line counts only with its line end.
        return std::getline(damaged, line) && !damaged.eof() &&
               (line.ends_with(L'\r') ? (line.pop_back(), true) : true);
    };
    std::getline(original, expected);
    while (next() && line != expected) {
    }
    while (std::getline(original, expected)) {
        const bool whole = expected.find(L"<Missing ") != std::wstring::npos;
        if (!next() || (whole ? line != expected
                              : !line.starts_with(expected.substr(0, expected.rfind(L'\t') + 1)))) {
            return false;
        }
    }
    while (next() && line.empty()) {
    }
    return damaged.eof() && line.empty() && (!utf16 || bytes.size() % 2 == 0);
}

TEST(mutation, damaged_inventories_end_with_0_1_or_2_and_never_a_false_identical) {
    const temp_folder folder(L"compare_mutation");
    const std::wstring table = utility_table();
    const std::string originals[] = {utf8(table), utf16le(utility_table(nullptr, L"\r\n"))};
    const std::wstring baseline = folder.write(L"base.txt", originals[0]);
    // The oracle itself takes the undamaged tables.
    ASSERT_TRUE(keeps_every_value(table, originals[0], false));
    ASSERT_TRUE(keeps_every_value(table, originals[1].substr(2), true));
    std::mt19937 generator(20261208);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = damaged(originals[round % 2], generator);
        const std::wstring inventory = folder.write(L"damaged.txt", bytes);
        const run_result result = run({baseline, inventory});
        ASSERT_TRUE(result.exit_code >= 0 && result.exit_code <= 2) << round;
        // A complaint always comes with exit code 2, and "identical" only
        // when the damage spared every value.
        EXPECT_EQ(result.exit_code == 2, !result.error.empty()) << round;
        if (result.exit_code == 0) {
            EXPECT_EQ(result.out, inventory + L": identical\n") << round;
            EXPECT_TRUE(keeps_every_value(table, bytes.substr(round % 2 * 2), round % 2 == 1))
                << round;
        }
    }
}

}  // namespace
