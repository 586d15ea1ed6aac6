// The main window's actions and the modal secondary windows, on the fake
// platform and its clock.
#include "main_window/actions.h"

#include <gtest/gtest.h>

#include "secondary_windows/layouts.h"
#include "tests/support/started.h"

namespace tarvello::main_window {
namespace {

using testing::page_request;

std::vector<std::string> requests_of(const testing::fake_platform& ui) {
    std::vector<std::string> seen;
    for (const auto& r : ui.requests) seen.push_back(std::to_string(r.at_ms) + " " + r.what);
    return seen;
}

struct claim_case {
    const char* forum;
    const char* task;
    const char* address;
};

TEST(claim, joins_forum_claim_path_and_task_id_byte_for_byte) {
    const claim_case cases[] = {
        {"http://127.0.0.1:8080", "12", "http://127.0.0.1:8080/home.php?mod=task&do=draw&id=12"},
        {"http://h/", "3", "http://h//home.php?mod=task&do=draw&id=3"},
        {"", "", "/home.php?mod=task&do=draw&id="},
        {"http://h", "", "http://h/home.php?mod=task&do=draw&id="},
        {" 论坛 ", "a b&c", " 论坛 /home.php?mod=task&do=draw&id=a b&c"},
    };
    for (const auto& c : cases) {
        testing::started_program p;
        p.ui.type_into("编辑框1", c.forum);
        p.ui.type_into("编辑框2", c.task);
        p.ui.sink()->clicked(p.control("按钮2"));
        EXPECT_EQ(requests_of(p.ui),
                  std::vector<std::string>{std::string("0 navigate ") + c.address});
        EXPECT_EQ(p.ui.timer_period(p.control("时钟1")), 2000);
    }
}

TEST(claim, a_second_claim_navigates_again_without_shifting_the_ticks) {
    testing::started_program p;
    p.ui.type_into("编辑框1", "http://h");
    p.ui.type_into("编辑框2", "1");
    p.ui.sink()->clicked(p.control("按钮2"));
    p.ui.run_until(1500);
    p.ui.sink()->clicked(p.control("按钮2"));
    p.ui.run_until(6000);
    const auto claim = "navigate http://h/home.php?mod=task&do=draw&id=1";
    EXPECT_EQ(requests_of(p.ui),
              (std::vector<std::string>{std::string("0 ") + claim, std::string("1500 ") + claim,
                                        "2000 reload", "4000 reload", "6000 reload"}));
}

TEST(visit, navigates_to_the_address_as_typed_and_leaves_the_timer) {
    const char* addresses[] = {"http://h/", "   ", "h:8080/x"};
    for (const char* address : addresses) {
        testing::started_program p;
        p.ui.type_into("编辑框1", address);
        p.ui.sink()->clicked(p.control("按钮1"));
        p.ui.sink()->clicked(p.control("按钮1"));
        const auto once = std::string("0 navigate ") + address;
        EXPECT_EQ(requests_of(p.ui), (std::vector<std::string>{once, once}));
        EXPECT_EQ(p.ui.timer_period(p.control("时钟1")), 0);
        EXPECT_TRUE(p.ui.find_window("") == platform::no_handle);
    }
}

TEST(no_claim, no_tick_ever_comes) {
    testing::started_program p;
    p.ui.type_into("编辑框1", "http://h");
    p.ui.sink()->clicked(p.control("按钮1"));
    p.ui.run_until(60000);
    EXPECT_EQ(requests_of(p.ui), std::vector<std::string>{"0 navigate http://h"});
}

// Opens a secondary window from a click, and inside its nested loop runs
// `while_open`, then closes it with the given key.
struct modal_run {
    testing::started_program p;
    platform::handle opened = platform::no_handle;
    bool main_enabled_inside = true;
    bool main_enabled_after = false;

    void click_and_close(const char* button, const std::string& caption,
                         std::function<void()> while_open = {}) {
        p.ui.queue.push_back([&, caption, while_open] {
            opened = p.ui.find_window(caption);
            main_enabled_inside = p.ui.is_enabled(p.main());
            if (while_open) while_open();
            p.ui.sink()->pre_translate(opened, {platform::key::escape, {}});
        });
        p.ui.sink()->clicked(p.control(button));
        main_enabled_after = p.ui.is_enabled(p.main());
    }
};

TEST(modal, missing_address_window_opens_for_an_empty_address_and_changes_nothing) {
    modal_run m;
    m.click_and_close("按钮1", "");
    ASSERT_NE(m.opened, platform::no_handle);
    EXPECT_FALSE(m.main_enabled_inside);
    EXPECT_TRUE(m.main_enabled_after);
    EXPECT_FALSE(m.p.ui.exists(m.opened));
    EXPECT_TRUE(m.p.ui.requests.empty());
    EXPECT_EQ(m.p.ui.timer_period(m.p.control("时钟1")), 0);
}

TEST(modal, windows_are_centred_owned_and_hold_their_text) {
    struct modal_case {
        const char* button;
        const char* caption;
        platform::rect outer;
        std::string_view text;
    };
    const modal_case cases[] = {
        {"按钮3", "说明", {210, 146, 380, 307}, secondary_windows::instructions_text},
        {"按钮1", "", {283, 231, 233, 138}, "没有网址你刷个毛分"},
    };
    for (const auto& c : cases) {
        testing::started_program p({800, 600});
        platform::rect outer;
        std::string text;
        platform::handle owner = platform::no_handle;
        p.ui.queue.push_back([&] {
            const auto w = p.ui.find_window(c.caption);
            outer = p.ui.geometry(w);
            owner = p.ui.object(w)->window.owner;
            for (const char* name : {"说明", "标签1"}) {
                for (auto id = 1u; id < 100; ++id) {
                    const auto* o = p.ui.object(id);
                    if (o && !o->is_window && o->parent == w && o->control.name == name)
                        text = o->control.text;
                }
            }
            p.ui.sink()->close_requested(w);
        });
        p.ui.sink()->clicked(p.control(c.button));
        EXPECT_EQ(outer, c.outer) << c.caption;
        EXPECT_EQ(owner, p.app.hidden_window()) << c.caption;
        EXPECT_EQ(text, c.text) << c.caption;
    }
    // 258 bytes in the Chinese code page, where each of these characters
    // takes two bytes; 19 lines with no break at the end.
    std::size_t cp936_bytes = 0;
    for (unsigned char b : secondary_windows::instructions_text) {
        if (b < 0x80)
            cp936_bytes += 1;
        else if (b >= 0xC0)
            cp936_bytes += 2;
    }
    EXPECT_EQ(cp936_bytes, 258u);
    std::size_t breaks = 0;
    for (auto at = secondary_windows::instructions_text.find("\r\n"); at != std::string_view::npos;
         at = secondary_windows::instructions_text.find("\r\n", at + 2))
        ++breaks;
    EXPECT_EQ(breaks + 1, 19u);
}

TEST(modal, esc_with_a_modifier_does_not_close_and_ticks_go_on_meanwhile) {
    modal_run m;
    m.p.ui.type_into("编辑框2", "5");
    m.p.ui.type_into("编辑框1", "http://h");
    m.p.ui.sink()->clicked(m.p.control("按钮2"));
    m.click_and_close("按钮3", "说明", [&] {
        for (auto mods : {platform::modifiers{.shift = true}, platform::modifiers{.ctrl = true},
                          platform::modifiers{.alt = true}}) {
            m.p.ui.sink()->pre_translate(m.opened, {platform::key::escape, mods});
            EXPECT_TRUE(m.p.ui.exists(m.opened));
        }
        m.p.ui.run_until(4100);  // the nested loop's ticks
    });
    EXPECT_FALSE(m.p.ui.exists(m.opened));
    EXPECT_EQ(requests_of(m.p.ui),
              (std::vector<std::string>{"0 navigate http://h/home.php?mod=task&do=draw&id=5",
                                        "2000 reload", "4000 reload"}));
}

TEST(modal, focus_returns_to_the_instructions_button) {
    modal_run m;
    m.p.ui.set_focus(m.p.control("按钮3"));
    m.click_and_close("按钮3", "说明");
    EXPECT_EQ(m.p.focused_name(), "按钮3");
}

TEST(modal, a_window_that_cannot_be_built_shows_nothing_and_disables_nothing) {
    testing::started_program p;
    p.ui.fail_control = "说明";
    p.ui.sink()->clicked(p.control("按钮3"));
    EXPECT_EQ(p.ui.find_window("说明"), platform::no_handle);
    EXPECT_TRUE(p.ui.is_enabled(p.main()));
    EXPECT_TRUE(p.ui.boxes.empty());
}

}  // namespace
}  // namespace tarvello::main_window
