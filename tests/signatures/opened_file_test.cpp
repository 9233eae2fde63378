// What makes a file that opened one that cannot be checked. Wine enforces no
// locked range on a read, so that refusal is scripted; the end-to-end tests
// have the folder and the absent file.
#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "import_patch.h"
#include "opened_file.h"
#include "temp_folder.h"
#include "test_helpers.h"

TEST(opened_file, a_refused_read_or_a_device_is_a_file_that_cannot_be_checked) {
    const temp_folder folder(L"opened_file");
    const std::wstring file = folder.write(L"pmproc.dll", "MZ");
    const struct {
        const char* name;
        std::wstring path;
        bool read_refused;
        std::wstring problem;
        std::optional<std::uint32_t> code;
    } rows[] = {
        {"its first bytes locked by another process", file, true, L"cannot be read",
         ERROR_LOCK_VIOLATION},
        {"a device, not a file on a disk", L"\\\\.\\NUL", false, L"not a file on a disk", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<import_patch> locked;
        if (row.read_refused) {
            locked.emplace("kernel32.dll", "ReadFile",
                           as_import(stand_in<decltype(ReadFile), ERROR_LOCK_VIOLATION>::fail));
        }
        const pelmar::signatures::opened_file opened(row.path);
        EXPECT_FALSE(opened.absent());
        EXPECT_EQ(opened.problem().words, row.problem);
        EXPECT_EQ(opened.problem().code, row.code);
        EXPECT_EQ(opened.handle(), INVALID_HANDLE_VALUE);
    }
}
