// The text routines, and the allocator's way out when memory cannot be had.
#include "main_window/text.h"

#include <gtest/gtest.h>

#include "tests/support/started.h"

namespace tarvello::text {
namespace {

struct compare_case {
    const char* a;
    const char* b;
    int expected;
};

TEST(text_compare, bytewise_unsigned_with_absent_equal_to_empty) {
    const compare_case cases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", 0},  {"", nullptr, 0},  {nullptr, "a", -1},
        {"a", nullptr, 1},     {"", "", 0},       {"abc", "abc", 0}, {"abc", "abd", -1},
        {"abd", "abc", 1},     {"ab", "abc", -1}, {"abc", "ab", 1},  {"A", "a", -1},
        {" ", "", 1},          {"\xe8", "z", 1},  // bytes above 127 compare as unsigned
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compare(c.a, c.b), c.expected)
            << (c.a ? c.a : "(absent)") << " vs " << (c.b ? c.b : "(absent)");
    }
}

TEST(text_join, puts_the_pieces_one_after_another_and_is_never_absent) {
    EXPECT_STREQ(join({"http://h/", "/home.php?mod=task&do=draw&id=", "7"}).get(),
                 "http://h//home.php?mod=task&do=draw&id=7");
    EXPECT_STREQ(join({nullptr, "x", nullptr}).get(), "x");
    auto empty = join({nullptr, "", nullptr});
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_STREQ(empty.get(), "");
    EXPECT_EQ(length(nullptr), 0u);
    EXPECT_EQ(length("论坛"), 6u);  // bytes, not characters
}

void* no_memory(std::size_t) {
    return nullptr;
}

TEST(allocation_failure, ends_in_the_fatal_stop_with_the_byte_count) {
    testing::started_program p;
    p.ui.type_into("编辑框1", "http://h");
    p.ui.type_into("编辑框2", "12");
    set_allocator(no_memory);
    EXPECT_THROW(p.ui.sink()->clicked(p.control("按钮2")), testing::fake_exit);
    set_allocator(nullptr);
    ASSERT_EQ(p.ui.boxes.size(), 1u);
    EXPECT_EQ(p.ui.boxes[0].first, "错误");
    // The first allocation is the copy of the forum address: 8 bytes and its NUL.
    EXPECT_EQ(p.ui.boxes[0].second, "运行时出错!\r\n\r\n错误信息：分配 9 字节内存失败!\r\n");
    EXPECT_EQ(p.ui.calls.back(), "exit -1");
    EXPECT_TRUE(p.ui.requests.empty());
}

}  // namespace
}  // namespace tarvello::text
