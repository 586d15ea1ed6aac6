// The refresh timer's period rules, on the fake clock.
#include <gtest/gtest.h>

#include "main_window/actions.h"
#include "tests/support/started.h"

namespace tarvello::main_window {
namespace {

std::vector<std::int64_t> tick_times(const testing::fake_platform& ui) {
    std::vector<std::int64_t> times;
    for (const auto& r : ui.requests) {
        if (r.what == "reload") times.push_back(r.at_ms);
    }
    return times;
}

struct step {
    std::int64_t at_ms;
    int period_ms;
};

struct period_case {
    const char* what;
    std::vector<step> steps;
    std::int64_t until_ms;
    std::vector<std::int64_t> ticks;
    int period_after;
};

TEST(refresh_period, follows_its_rules) {
    const period_case cases[] = {
        {"stopped at creation", {}, 10000, {}, 0},
        {"first tick one period after setting", {{100, 2000}}, 6200, {2100, 4100, 6100}, 2000},
        {"the same value leaves the rhythm alone",
         {{0, 2000}, {1500, 2000}},
         6000,
         {2000, 4000, 6000},
         2000},
        {"another value restarts the countdown",
         {{0, 2000}, {1500, 1000}},
         4600,
         {2500, 3500, 4500},
         1000},
        {"zero stops it", {{0, 2000}, {4500, 0}}, 10000, {2000, 4000}, 0},
        {"a negative value counts as zero", {{0, 2000}, {4500, -7}}, 10000, {2000, 4000}, 0},
        {"negative when stopped changes nothing", {{0, -1}}, 5000, {}, 0},
    };
    for (const auto& c : cases) {
        testing::started_program p;
        auto* window = p.app.main();
        for (const auto& s : c.steps) {
            p.ui.run_until(s.at_ms);
            set_refresh_period(*window, s.period_ms);
        }
        p.ui.run_until(c.until_ms);
        EXPECT_EQ(tick_times(p.ui), c.ticks) << c.what;
        EXPECT_EQ(p.ui.timer_period(p.control("时钟1")), c.period_after) << c.what;
    }
}

TEST(refresh_period, ticks_missed_while_the_thread_was_busy_come_once) {
    testing::started_program p;
    set_refresh_period(*p.app.main(), 2000);
    // Something keeps the thread busy from 1000 ms to 7500 ms.
    p.ui.queue.push_back([&] { p.ui.now_ms = 7500; });
    p.ui.run_until(1000);
    p.ui.run_until(10100);
    // One tick when free, then back on the grid of the first setting.
    EXPECT_EQ(tick_times(p.ui), (std::vector<std::int64_t>{7500, 8000, 10000}));
}

}  // namespace
}  // namespace tarvello::main_window
