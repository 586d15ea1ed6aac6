// The real main window on the GTK backend, in this process, under a virtual
// display with a window manager: its place, every control's place and size,
// which control covers which, and the keyboard cycle driven by real keys.
#include <gtest/gtest.h>

#include <memory>

#include "main_window/layout.h"
#include "main_window/main_window.h"
#include "platform/backend.h"
#include "platform/gtk/probe.h"
#include "secondary_windows/show_modally.h"
#include "shell/shell.h"

namespace tarvello {
namespace {

using platform::key;
namespace probe = platform::probe;

class real_main_window : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui_ = platform::make_platform().release();
        app_ = new shell::shell(*ui_);
        ASSERT_TRUE(ui_->open_display()) << "no display: run under scripts/with_display";
        app_->prepare_engine();
        app_->enter_executable_folder();
        ASSERT_TRUE(app_->create_hidden_window());
        ASSERT_TRUE(app_->create_main_window());
        app_->show_main_window();
        window_ = app_->main()->window();
        ASSERT_TRUE(probe::pump_until([] { return probe::window_settled(window_); }, 10000))
            << "the main window never settled at its place";
    }

    static platform::handle control(std::string_view name) { return app_->main()->control(name); }
    static std::string_view focused() {
        const auto f = ui_->focused_control(window_);
        for (const auto& row : main_window::main_window_controls)
            if (control(row.name) == f) return row.name;
        return "(none)";
    }
    static bool focus_becomes(std::string_view name) {
        return probe::pump_until([name] { return focused() == name; }, 3000);
    }

    static platform::platform* ui_;
    static shell::shell* app_;
    static platform::handle window_;
};

platform::platform* real_main_window::ui_ = nullptr;
shell::shell* real_main_window::app_ = nullptr;
platform::handle real_main_window::window_ = platform::no_handle;

TEST_F(real_main_window, starts_with_the_focus_on_the_visit_button) {
    EXPECT_TRUE(focus_becomes("按钮1")) << "focus is on " << focused();
}

TEST_F(real_main_window, stands_centred_at_its_outer_size) {
    const auto expected =
        main_window::centred(ui_->primary_display_size(), main_window::main_window_layout.outer);
    EXPECT_EQ(ui_->geometry(window_), expected);
}

TEST_F(real_main_window, every_control_keeps_its_laid_out_place_and_size) {
    for (const auto& row : main_window::main_window_controls) {
        if (row.kind == platform::control_kind::timer) continue;
        const auto got = ui_->geometry(control(row.name));
        EXPECT_EQ(got, row.place) << row.name << " is at " << got.left << "," << got.top << " "
                                  << got.width << "x" << got.height;
    }
}

bool is_white(platform::colour c) {
    return c.red == 255 && c.green == 255 && c.blue == 255;
}

TEST_F(real_main_window, edit_boxes_cover_the_labels_they_overlap) {
    // Inside the overlap strips the box's white face shows, not the label's.
    const std::pair<int, int> covered[] = {{84, 44}, {86, 36}, {447, 43}, {452, 50}};
    for (const auto& [x, y] : covered) {
        EXPECT_TRUE(is_white(probe::pixel_at(window_, x, y))) << x << "," << y;
    }
    // Where only a label lies, its dialog-face fill shows.
    EXPECT_FALSE(is_white(probe::pixel_at(window_, 25, 33)));
    EXPECT_FALSE(is_white(probe::pixel_at(window_, 377, 32)));
}

TEST_F(real_main_window, tab_and_shift_tab_run_the_keyboard_cycle) {
    ui_->set_focus(control("按钮1"));
    ASSERT_TRUE(focus_becomes("按钮1"));
    const char* forward[] = {"按钮2", "编辑框1", "编辑框2", "超文本浏览框1", "按钮3", "按钮1"};
    for (const char* next : forward) {
        probe::send_key(key::tab, {});
        EXPECT_TRUE(focus_becomes(next)) << "expected " << next << ", focus on " << focused();
    }
    const char* backward[] = {"按钮3", "超文本浏览框1", "编辑框2", "编辑框1", "按钮2", "按钮1"};
    for (const char* next : backward) {
        probe::send_key(key::tab, {.shift = true});
        EXPECT_TRUE(focus_becomes(next)) << "expected " << next << ", focus on " << focused();
    }
}

// Runs of dark rows: one per line of text.
std::vector<std::pair<int, int>> text_lines(const std::vector<bool>& rows) {
    std::vector<std::pair<int, int>> lines;
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        if (!rows[static_cast<std::size_t>(y)]) continue;
        if (!lines.empty() && lines.back().second == y - 1) {
            lines.back().second = y;
        } else {
            lines.emplace_back(y, y);
        }
    }
    return lines;
}

TEST_F(real_main_window, secondary_labels_show_their_whole_text) {
    struct row {
        const secondary_windows::secondary_layout& layout;
        std::size_t lines;
    };
    const row rows[] = {{secondary_windows::instructions_layout, 10},
                        {secondary_windows::missing_address_layout, 1}};
    for (const auto& [layout, lines] : rows) {
        // Built as show modally builds it, without its nested loop.
        const auto window = ui_->create_window(secondary_windows::window_settings_for(
            layout, ui_->primary_display_size(), app_->hidden_window()));
        ASSERT_NE(window, platform::no_handle);
        const auto label =
            ui_->create_control(window, secondary_windows::label_settings_for(layout));
        ASSERT_NE(label, platform::no_handle);
        ui_->show(label);
        ui_->show(window);
        ui_->activate(window);
        ASSERT_TRUE(probe::pump_until([window] { return probe::window_settled(window); }, 10000));
        std::vector<std::pair<int, int>> seen;
        probe::pump_until(
            [&] {
                seen = text_lines(probe::dark_rows(window, layout.label_place));
                return seen.size() >= lines;
            },
            3000);
        EXPECT_EQ(seen.size(), lines) << layout.label_name << ": lines of text seen";
        if (!seen.empty()) {
            const int height = layout.label_place.height;
            EXPECT_LT(seen.back().second, height - 1) << layout.label_name << " is cut off";
            if (lines > 1) {
                EXPECT_LE(seen.front().first, 4) << layout.label_name << " starts at its top";
            } else {
                const int middle = (seen.front().first + seen.back().second) / 2;
                EXPECT_NEAR(middle, height / 2, 3) << layout.label_name << " stands in the middle";
            }
        }
        ui_->destroy(window);
    }
    ui_->activate(window_);
    ASSERT_TRUE(probe::pump_until([] { return probe::window_settled(window_); }, 10000));
}

}  // namespace
}  // namespace tarvello
