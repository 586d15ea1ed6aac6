// The main window's own keys and focus rules, on the fake platform.
#include <gtest/gtest.h>

#include "tests/support/started.h"

namespace tarvello::main_window {
namespace {

using platform::key;
using platform::modifiers;

TEST(keyboard, focus_starts_on_the_first_button_and_tab_runs_the_cycle) {
    testing::started_program p;
    EXPECT_EQ(p.focused_name(), "按钮1");
    const std::vector<std::string> forward{"按钮2", "编辑框1", "编辑框2", "超文本浏览框1",
                                           "按钮3", "按钮1",   "按钮2"};
    for (const auto& expected : forward) {
        EXPECT_TRUE(p.press(key::tab));
        EXPECT_EQ(p.focused_name(), expected);
    }
}

TEST(keyboard, shift_tab_runs_the_cycle_backwards_from_start_up) {
    testing::started_program p;
    const std::vector<std::string> backward{"按钮3", "超文本浏览框1", "编辑框2", "编辑框1",
                                            "按钮2", "按钮1",         "按钮3"};
    for (const auto& expected : backward) {
        EXPECT_TRUE(p.press(key::tab, {.shift = true}));
        EXPECT_EQ(p.focused_name(), expected);
    }
}

TEST(keyboard, tab_with_ctrl_or_alt_is_left_to_the_control) {
    testing::started_program p;
    EXPECT_FALSE(p.press(key::tab, {.ctrl = true}));
    EXPECT_FALSE(p.press(key::tab, {.alt = true}));
    EXPECT_EQ(p.focused_name(), "按钮1");
}

TEST(keyboard, esc_alone_closes_the_window_and_ends_with_zero) {
    struct esc_case {
        modifiers mods;
        bool closes;
    };
    const esc_case cases[] = {
        {{}, true},
        {{.shift = true}, false},
        {{.ctrl = true}, false},
        {{.alt = true}, false},
    };
    for (const auto& c : cases) {
        testing::fake_platform ui;
        shell::shell app(ui);
        ui.queue.push_back([&] {
            auto& sink = *ui.sink();
            sink.pre_translate(ui.find_control("编辑框1"), {key::escape, c.mods});
            // Still open after a modified Esc: close it the plain way.
            if (!c.closes) {
                EXPECT_NE(ui.find_window("Tarvello  by:Miskard"), platform::no_handle);
                sink.close_requested(ui.find_window("Tarvello  by:Miskard"));
            }
        });
        EXPECT_EQ(testing::run_to_exit(app), 0);
        EXPECT_TRUE(ui.windows().empty());
    }
}

TEST(keyboard, enter_f1_and_access_keys_do_nothing_outside_the_browser_pane) {
    testing::started_program p;
    p.ui.set_focus(p.control("编辑框1"));
    EXPECT_TRUE(p.press(key::enter));
    EXPECT_TRUE(p.press(key::f1));
    EXPECT_TRUE(p.press(key::letter_or_digit, {.alt = true}));
    EXPECT_FALSE(p.press(key::letter_or_digit));  // typing goes to the box
    EXPECT_FALSE(p.press(key::space));
    EXPECT_EQ(p.focused_name(), "编辑框1");
    EXPECT_TRUE(p.ui.requests.empty());
    // A page in the pane gets its Enter, so its forms can be sent.
    p.ui.set_focus(p.control("超文本浏览框1"));
    EXPECT_FALSE(p.press(key::enter));
}

TEST(keyboard, a_page_in_the_pane_moves_through_its_fields_before_the_window_goes_on) {
    struct tab_case {
        modifiers mods;
        std::string after_the_page;
    };
    const tab_case cases[] = {{{}, "按钮3"}, {{.shift = true}, "编辑框2"}};
    for (const auto& c : cases) {
        testing::started_program p;
        p.ui.type_into("编辑框1", "forum.example");
        p.ui.sink()->clicked(p.control("按钮1"));  // the pane now shows a page
        p.ui.set_focus(p.control("超文本浏览框1"));
        // The page has the key: the window leaves it alone, every time.
        EXPECT_FALSE(p.press(key::tab, c.mods));
        EXPECT_FALSE(p.press(key::tab, c.mods));
        EXPECT_EQ(p.focused_name(), "超文本浏览框1");
        // Past the page's last field the window's order goes on, once.
        EXPECT_TRUE(p.passed_on_by_page(key::tab, c.mods));
        EXPECT_EQ(p.focused_name(), c.after_the_page);
        // Elsewhere a passed-on Tab is a Tab like any other.
        EXPECT_TRUE(p.passed_on_by_page(key::tab));
        EXPECT_NE(p.focused_name(), c.after_the_page);
    }
}

TEST(focus_memory, the_focused_control_comes_back_after_deactivation) {
    testing::started_program p;
    p.press(key::tab);
    p.press(key::tab);
    ASSERT_EQ(p.focused_name(), "编辑框1");
    p.ui.sink()->deactivated(p.main());
    p.ui.set_focus(p.control("按钮3"));  // whatever happens meanwhile
    p.ui.sink()->activated(p.main());
    EXPECT_EQ(p.focused_name(), "编辑框1");
    // The memory is cleared once used: a bare activation goes to the first.
    p.ui.set_focus(p.control("按钮3"));
    p.ui.sink()->activated(p.main());
    EXPECT_EQ(p.focused_name(), "按钮1");
}

}  // namespace
}  // namespace tarvello::main_window
