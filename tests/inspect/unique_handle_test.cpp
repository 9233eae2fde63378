#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "scope_exit.h"
#include "unique_handle.h"

namespace {

// What happened, in order: each handle closed, and at each mark the last
// error, which every row sets to ERROR_ACCESS_DENIED first and every close
// overwrites.
std::vector<int> events;

void close(int handle) {
    events.push_back(handle);
    SetLastError(ERROR_INVALID_HANDLE);
}

void mark() {
    events.push_back(-static_cast<int>(GetLastError()));
}

constexpr int kept = -ERROR_ACCESS_DENIED;

using null_invalid = unique_handle<int, close>;
using minus_one_invalid = unique_handle<int, close, -1>;
using both_invalid = unique_handle<int, close, -1, 0>;

TEST(unique_handle, closes_each_handle_once_at_once_and_keeps_the_last_error) {
    const struct {
        const char* name;
        void (*run)();
        std::vector<int> events;
    } cases[] = {
        {"going out of scope closes", [] { const null_invalid owner(1); }, {1}},
        {"move construction hands the handle on",
         [] {
             null_invalid from(1);
             const null_invalid to(std::move(from));
             EXPECT_FALSE(from);
             mark();
         },
         {kept, 1}},
        {"move assignment closes the old handle at once",
         [] {
             null_invalid to(1);
             null_invalid from(2);
             to = std::move(from);
             mark();
             EXPECT_EQ(to.get(), 2);
         },
         {1, kept, 2}},
        {"put closes the old handle at once",
         [] {
             null_invalid owner(1);
             *owner.put() = 2;
             mark();
         },
         {1, kept, 2}},
        {"release hands the handle over unclosed",
         [] {
             null_invalid owner(1);
             EXPECT_EQ(owner.release(), 1);
             EXPECT_FALSE(owner);
         },
         {}},
        {"0 is nothing where 0 is invalid",
         [] {
             null_invalid owner(0);
             EXPECT_FALSE(owner);
             owner = null_invalid();
             *owner.put() = 0;
         },
         {}},
        {"-1 is nothing where -1 is invalid, and 0 a handle",
         [] {
             minus_one_invalid owner(-1);
             EXPECT_FALSE(owner);
             owner = minus_one_invalid(0);
             EXPECT_TRUE(owner);
             mark();
         },
         {kept, 0}},
        {"where both are invalid, an owner of either holds nothing and holds -1 when empty",
         [] {
             both_invalid owner(0);
             EXPECT_FALSE(owner);
             owner = both_invalid(-1);
             EXPECT_FALSE(owner);
             EXPECT_EQ(both_invalid().get(), -1);
             *owner.put() = 3;
         },
         {3}},
        {"a released scope_exit does nothing, another runs once",
         [] {
             auto undone = scope_exit([] { events.push_back(4); });
             undone.release();
             const auto done = scope_exit([] { events.push_back(5); });
         },
         {5}},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.name);
        events.clear();
        SetLastError(ERROR_ACCESS_DENIED);
        expected.run();
        mark();
        std::vector<int> with_last = expected.events;
        with_last.push_back(kept);
        EXPECT_EQ(events, with_last);
    }
}

}  // namespace
