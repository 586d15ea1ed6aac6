// The shell on the fake platform: start-up order, the executable's folder,
// the last-window rule, the hold-back and the fatal-error stop.
#include <gtest/gtest.h>

#include "main_window/layout.h"
#include "tests/support/started.h"

namespace tarvello::shell {
namespace {

using testing::fake_platform;
using testing::run_to_exit;

const std::string start_failure_text = "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n";

TEST(fatal_error_text, is_composed_as_the_box_shows_it) {
    EXPECT_EQ(fatal_error_text("载入启动窗口失败"), start_failure_text);
    EXPECT_EQ(fatal_error_text(""), "运行时出错!\r\n\r\n错误信息：\r\n");
}

TEST(folder_of, cuts_at_the_last_separator) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"/opt/tarvello/bin/tarvello", "/opt/tarvello/bin"},
        {"/tarvello", "/"},
        {"tarvello", std::nullopt},
        {"", std::nullopt},
        {"/a b/c/", "/a b/c"},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(folder_of(path, '/'), folder) << path;
    EXPECT_EQ(folder_of("C:\\Tools\\tarvello.exe", '\\'), "C:\\Tools");
}

TEST(start_up, runs_its_steps_in_order_and_ends_with_zero_when_the_window_closes) {
    fake_platform ui;
    shell app(ui);
    ui.queue.push_back([&] { ui.sink()->close_requested(ui.find_window("Tarvello  by:Miskard")); });
    EXPECT_EQ(run_to_exit(app), 0);
    EXPECT_EQ(ui.calls,
              (std::vector<std::string>{"open_display", "prepare_engine", "chdir /opt/tarvello/bin",
                                        "hidden_window", "window Tarvello  by:Miskard",
                                        "show Tarvello  by:Miskard", "release_engine", "exit 0"}));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.windows().empty());
}

TEST(start_up, a_path_without_separator_leaves_the_directory_alone) {
    fake_platform ui;
    ui.exe_path = "tarvello";
    ui.current_directory = "/home/user";
    shell app(ui);
    app.enter_executable_folder();
    EXPECT_EQ(ui.current_directory, "/home/user");
}

TEST(fatal_stop, when_any_part_of_the_main_window_cannot_be_built) {
    std::vector<std::string> failing{""};  // "" stands for the window itself
    for (const auto& row : main_window::main_window_controls) failing.emplace_back(row.name);
    for (const auto& name : failing) {
        fake_platform ui;
        if (name.empty())
            ui.fail_windows = true;
        else
            ui.fail_control = name;
        shell app(ui);
        EXPECT_EQ(run_to_exit(app), -1) << name;
        ASSERT_EQ(ui.boxes.size(), 1u) << name;
        EXPECT_EQ(ui.boxes[0].first, "错误");
        EXPECT_EQ(ui.boxes[0].second, start_failure_text);
        // Nothing was shown, and nothing of the window is left.
        for (const auto& call : ui.calls) EXPECT_NE(call.rfind("show", 0), 0u) << name;
        EXPECT_TRUE(ui.windows().empty()) << name;
        EXPECT_EQ(ui.find_control("按钮1"), platform::no_handle) << name;
        EXPECT_EQ(ui.calls.back(), "exit -1");
        EXPECT_NE(std::find(ui.calls.begin(), ui.calls.end(), "release_engine"), ui.calls.end());
    }
}

TEST(fatal_stop, without_a_display_reports_and_ends_with_minus_one) {
    fake_platform ui;
    ui.display = false;
    shell app(ui);
    EXPECT_EQ(run_to_exit(app), -1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].second, start_failure_text);
    EXPECT_TRUE(ui.windows().empty());
}

TEST(fatal_stop, when_the_engine_cannot_run_safely_says_why_before_any_window) {
    fake_platform ui;
    ui.engine_failure = "沙箱无法建立";
    shell app(ui);
    EXPECT_EQ(run_to_exit(app), -1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].first, "错误");
    EXPECT_EQ(ui.boxes[0].second, fatal_error_text("沙箱无法建立"));
    EXPECT_EQ(ui.calls, (std::vector<std::string>{"open_display", "prepare_engine", "exit -1"}));
    EXPECT_TRUE(ui.windows().empty());
}

TEST(hold_back, keeps_clicks_and_ticks_from_the_actions_while_the_window_is_built) {
    fake_platform ui;
    shell app(ui);
    ui.open_display();
    // Fire every event we can at the controls built so far, as a toolkit
    // may while a window is being put together.
    ui.on_create_control = [&](const platform::control_settings&) {
        for (const char* name : {"按钮1", "按钮2", "按钮3", "时钟1"}) {
            if (auto c = ui.find_control(name)) {
                ui.sink()->clicked(c);
                ui.sink()->tick(c);
            }
        }
    };
    app.create_hidden_window();
    ASSERT_TRUE(app.create_main_window());
    EXPECT_EQ(app.state().hold_back, 0);
    EXPECT_TRUE(ui.requests.empty());
    EXPECT_EQ(ui.timer_period(ui.find_control("时钟1")), 0);
    // Once built, the same click does reach its action.
    ui.on_create_control = nullptr;
    ui.sink()->clicked(ui.find_control("按钮2"));
    EXPECT_EQ(ui.requests.size(), 1u);
}

TEST(hold_back, is_raised_for_good_once_an_exit_begins) {
    testing::started_program p;
    EXPECT_THROW(p.app.orderly_exit(), testing::fake_exit);
    EXPECT_EQ(p.app.state().hold_back, 1);
    p.ui.sink()->clicked(p.control("按钮2"));
    p.ui.sink()->tick(p.control("时钟1"));
    EXPECT_TRUE(p.ui.requests.empty());
}

TEST(hold_back, is_raised_by_the_fatal_stop_before_its_box_shows) {
    testing::started_program p;
    EXPECT_THROW(p.app.fatal_stop("x"), testing::fake_exit);
    EXPECT_EQ(p.app.state().hold_back, 1);
    p.ui.sink()->clicked(p.control("按钮2"));
    EXPECT_TRUE(p.ui.requests.empty());
    EXPECT_EQ(p.ui.calls.back(), "exit -1");
}

TEST(last_window, posts_no_quit_before_the_loop_runs) {
    testing::started_program p;
    p.ui.destroy(p.main());
    EXPECT_TRUE(p.ui.windows().empty());
    // No quit was posted: the loop would now wait (the fake says so).
    EXPECT_THROW(p.ui.wait_and_dispatch(), std::runtime_error);
}

}  // namespace
}  // namespace tarvello::shell
