// A platform with no display and its own clock, for testing the program's
// logic deterministically: windows and controls are records, events are a
// queue the test fills, timers fire on the fake clock, and ending the
// process throws fake_exit instead.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tarvello::testing {

namespace pf = ::tarvello::platform;

struct fake_exit {
    int code;
};

struct fake_object {
    bool is_window = false;
    pf::window_settings window;
    pf::control_settings control;
    pf::handle parent = pf::no_handle;
    bool visible = false;
    bool enabled = true;
    pf::handle focus = pf::no_handle;        // windows: the focused control
    std::string typed;                       // edit boxes
    pf::handle labelled_by = pf::no_handle;  // the label that names the control
    pf::handle label_for = pf::no_handle;    // labels: the control they name
    int period_ms = 0;                       // timers
    std::int64_t started_ms = 0;
    std::int64_t next_tick_ms = 0;
};

struct page_request {
    std::int64_t at_ms;
    std::string what;  // "navigate <address>" or "reload"
};

class fake_platform final : public pf::platform {
public:
    // Test controls.
    std::int64_t now_ms = 0;
    pf::size screen{1024, 768};
    std::string exe_path = "/opt/tarvello/bin/tarvello";
    bool display = true;
    std::optional<std::string> engine_failure;  // what prepare_engine reports
    std::string current_directory = "/";
    std::vector<std::string> calls;  // the order of start-up and exit steps
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<page_request> requests;
    std::vector<pf::handle> stacked;
    std::string fail_control;  // a control name whose creation fails
    bool fail_windows = false;
    std::function<void(const pf::control_settings&)> on_create_control;
    std::deque<std::function<void()>> queue;

    pf::handle find_control(const std::string& name) const;
    pf::handle find_window(const std::string& caption) const;
    const fake_object* object(pf::handle id) const;
    fake_object* object(pf::handle id);
    std::vector<pf::handle> windows() const;  // live, not the hidden one
    pf::event_sink* sink() const { return sink_; }
    void type_into(const std::string& edit_box, const std::string& text);
    // Runs queued events and timers up to `until_ms` on the fake clock.
    void run_until(std::int64_t until_ms);

    // pf::platform
    bool open_display() override;
    void set_event_sink(pf::event_sink* s) override { sink_ = s; }
    std::optional<std::string> prepare_engine() override {
        calls.push_back("prepare_engine");
        return engine_failure;
    }
    void release_engine() override { calls.push_back("release_engine"); }
    std::string executable_path() override { return exe_path; }
    char path_separator() const override { return '/'; }
    bool set_current_directory(const std::string& path) override;
    [[noreturn]] void exit_process(int code) override;
    pf::size primary_display_size() override { return screen; }
    pf::handle create_window(const pf::window_settings& settings) override;
    pf::handle create_control(pf::handle window, const pf::control_settings& settings) override;
    void stack_controls(pf::handle window, std::span<const pf::handle> top_to_bottom) override;
    void set_labelled_by(pf::handle control, pf::handle label) override;
    void show(pf::handle id) override;
    void activate(pf::handle window) override;
    void destroy(pf::handle window) override;
    bool exists(pf::handle id) const override { return objects_.count(id) != 0; }
    void set_enabled(pf::handle id, bool enabled) override;
    bool is_enabled(pf::handle id) const override;
    bool is_visible(pf::handle id) const override;
    void set_focus(pf::handle control) override;
    pf::handle focused_control(pf::handle window) const override;
    pf::rect geometry(pf::handle id) const override;
    std::optional<std::string> text(pf::handle edit_box) const override;
    void navigate(pf::handle pane, const std::string& address) override;
    void reload(pf::handle pane) override;
    void start_timer(pf::handle timer, int period_ms) override;
    void stop_timer(pf::handle timer) override;
    int timer_period(pf::handle timer) const override;
    void error_box(const std::string& caption, const std::string& text) override;
    bool wait_and_dispatch() override;
    void post_quit(int code) override;
    int quit_code() const override { return quit_code_; }

private:
    bool fire_next_timer(std::int64_t limit_ms);

    pf::event_sink* sink_ = nullptr;
    std::map<pf::handle, fake_object> objects_;
    pf::handle next_ = 1;
    pf::handle active_ = pf::no_handle;
    bool quit_ = false;
    int quit_code_ = 0;
};

}  // namespace tarvello::testing
