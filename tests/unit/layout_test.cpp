// The main window's layout rules: centring, keyboard order, stacking, and
// the controls as built from the layout.
#include "main_window/layout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/started.h"

namespace tarvello::main_window {
namespace {

struct centring_case {
    platform::size screen;
    int left;
    int top;
};

TEST(centring, truncates_toward_zero_and_does_not_clamp) {
    const centring_case cases[] = {
        {{1024, 768}, 89, 76}, {{1920, 1080}, 537, 232}, {{800, 600}, -22, -8}, {{845, 616}, 0, 0},
        {{846, 617}, 0, 0},    {{844, 615}, 0, 0},  // -1 / 2 truncates to 0, not -1
        {{843, 614}, -1, -1},
    };
    for (const auto& c : cases) {
        const auto place = centred(c.screen, main_window_layout.outer);
        EXPECT_EQ(place.left, c.left) << c.screen.width << "x" << c.screen.height;
        EXPECT_EQ(place.top, c.top) << c.screen.width << "x" << c.screen.height;
        EXPECT_EQ(place.width, 845);
        EXPECT_EQ(place.height, 616);
    }
}

std::vector<std::string_view> names_in_order(std::span<const control_row> rows) {
    std::vector<std::string_view> names;
    for (auto i : keyboard_order(rows)) names.push_back(rows[i].name);
    return names;
}

TEST(keyboard_order, is_the_reverse_of_the_layout_for_one_shared_rank) {
    EXPECT_EQ(names_in_order(main_window_controls),
              (std::vector<std::string_view>{"按钮1", "按钮2", "编辑框1", "编辑框2",
                                             "超文本浏览框1", "按钮3"}));
}

TEST(keyboard_order, follows_the_data_not_a_fixed_list) {
    // Ranks decide first; a tie goes to the later row; non-stops never count.
    const control_row rows[] = {
        {"a", platform::control_kind::push_button, {}, "", true, 1, {}},
        {"b", platform::control_kind::push_button, {}, "", true, 0, {}},
        {"c", platform::control_kind::label, {}, "", false, 0, {}},
        {"d", platform::control_kind::edit_box, {}, "", true, 0, {}},
        {"e", platform::control_kind::edit_box, {}, "", true, 1, {}},
    };
    EXPECT_EQ(names_in_order(rows), (std::vector<std::string_view>{"d", "b", "e", "a"}));
}

TEST(main_window_built, every_control_at_its_place_created_bottom_up_and_stacked_top_down) {
    std::vector<std::string> created;
    testing::fake_platform ui;
    ui.on_create_control = [&](const platform::control_settings& s) { created.push_back(s.name); };
    shell::shell app(ui);
    ui.open_display();
    app.create_hidden_window();
    ASSERT_TRUE(app.create_main_window());

    std::vector<std::string> reverse_layout;
    for (auto row = main_window_controls.rbegin(); row != main_window_controls.rend(); ++row)
        reverse_layout.emplace_back(row->name);
    EXPECT_EQ(created, reverse_layout);

    ASSERT_EQ(ui.stacked.size(), main_window_controls.size());
    for (std::size_t i = 0; i < main_window_controls.size(); ++i) {
        const auto& row = main_window_controls[i];
        const auto id = ui.find_control(std::string(row.name));
        EXPECT_EQ(ui.stacked[i], id) << row.name;
        EXPECT_EQ(ui.geometry(id), row.place) << row.name;
        EXPECT_EQ(ui.object(id)->control.text, row.text) << row.name;
        EXPECT_EQ(ui.object(id)->control.tab_stop, row.tab_stop) << row.name;
        // Everything is shown but the timer; the window itself waits for show.
        EXPECT_EQ(ui.is_visible(id), row.kind != platform::control_kind::timer) << row.name;
    }
    const auto window = ui.find_window("Tarvello  by:Miskard");
    EXPECT_FALSE(ui.is_visible(window));
    EXPECT_EQ(ui.geometry(window), (platform::rect{89, 76, 845, 616}));
    EXPECT_TRUE(ui.object(window)->window.minimise_box);
    EXPECT_FALSE(ui.object(window)->window.maximise_box);
}

struct accessibility_case {
    std::string control;
    std::string labelled_by;      // "" for none
    std::string accessible_name;  // "" for none
};

TEST(main_window_built, each_box_is_labelled_by_the_label_in_front_of_it_and_the_pane_has_a_name) {
    testing::started_program program;
    const auto& ui = program.ui;
    const accessibility_case cases[] = {
        {"编辑框1", "标签1", ""}, {"编辑框2", "标签2", ""},
        {"标签1", "", ""},        {"标签2", "", ""},
        {"按钮1", "", ""},        {"按钮2", "", ""},
        {"按钮3", "", ""},        {"超文本浏览框1", "", "浏览器"},
        {"时钟1", "", ""},
    };
    std::map<platform::handle, std::string> named_by_label;
    for (const auto& c : cases) {
        const auto* o = ui.object(program.control(c.control));
        ASSERT_NE(o, nullptr) << c.control;
        const auto label =
            c.labelled_by.empty() ? platform::no_handle : program.control(c.labelled_by);
        EXPECT_EQ(o->labelled_by, label) << c.control;
        if (label != platform::no_handle) named_by_label[label] = c.control;
        EXPECT_EQ(o->control.accessible_name, c.accessible_name) << c.control;
    }
    // The other way round: each label is the label for its box, and only it.
    for (const auto& c : cases) {
        const auto id = program.control(c.control);
        const auto named =
            named_by_label.count(id) ? program.control(named_by_label[id]) : platform::no_handle;
        EXPECT_EQ(ui.object(id)->label_for, named) << c.control;
    }
}

}  // namespace
}  // namespace tarvello::main_window
