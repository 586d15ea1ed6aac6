// The application shell: start-up, the event loop, the orderly exit, the
// fatal-error stop, and the routing of backend events to the program's
// windows through the event hold-back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shell/window_behaviour.h"

namespace tarvello::main_window {
class main_window;
}

namespace tarvello::shell {

struct app_state {
    bool loop_running = false;
    bool engine_prepared = false;
    // Above zero, no click or tick reaches an action.
    std::int32_t hold_back = 0;
    platform::handle hidden_window = platform::no_handle;
};

// The text of the fatal-error box for a message.
std::string fatal_error_text(const std::string& message);
// The folder part of a path: everything before its last separator, or
// nullopt for a path without one.
std::optional<std::string> folder_of(const std::string& path, char separator);

class shell final : public platform::event_sink {
public:
    explicit shell(platform::platform& ui);
    ~shell() override;
    shell(const shell&) = delete;
    shell& operator=(const shell&) = delete;

    // The whole run: start-up, the event loop, the exit. Never returns.
    [[noreturn]] void run();
    [[noreturn]] void fatal_stop(const std::string& message);
    [[noreturn]] void orderly_exit();

    // Raises the hold-back while a window is being built.
    class building {
    public:
        explicit building(app_state& state) : state_(state) { ++state_.hold_back; }
        ~building() { --state_.hold_back; }
        building(const building&) = delete;
        building& operator=(const building&) = delete;

    private:
        app_state& state_;
    };
    building hold_back_while_building() { return building(state_); }

    // The program's windows register here so their events find them.
    void add_window(platform::handle window, window_behaviour& behaviour, bool owned = false);
    // The open windows that have neither parent nor owner.
    std::vector<platform::handle> unowned_windows() const;
    void add_control(platform::handle window, platform::handle control);

    // Runs nested event loops: until `done` is set or quit has been posted.
    void run_nested_loop(const bool& done);

    platform::platform& ui() { return ui_; }
    const app_state& state() const { return state_; }
    platform::handle hidden_window() const { return state_.hidden_window; }
    bool any_window_open() const { return !windows_.empty(); }

    // Start-up steps, public so that tests can take them one at a time.
    void prepare_engine();
    void enter_executable_folder();
    bool create_hidden_window();
    bool create_main_window();
    void show_main_window();
    void run_event_loop();

    main_window::main_window* main() { return main_.get(); }

    // platform::event_sink
    bool pre_translate(platform::handle target, const platform::key_press& key) override;
    void clicked(platform::handle button) override;
    void tick(platform::handle timer) override;
    void close_requested(platform::handle window) override;
    void activated(platform::handle window) override;
    void deactivated(platform::handle window) override;
    void destroyed(platform::handle window) override;

private:
    window_behaviour* behaviour_of(platform::handle window_or_control);
    void release();

    platform::platform& ui_;
    app_state state_;
    struct registered {
        window_behaviour* behaviour;
        bool owned;
    };
    std::map<platform::handle, registered> windows_;
    std::map<platform::handle, platform::handle> control_window_;
    std::unique_ptr<main_window::main_window> main_;
};

}  // namespace tarvello::shell
