// The main window: built from its layout, its own keyboard handling (tab
// order, Esc, the keys that do nothing), focus memory, and the routing of
// its bound events to the actions.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/layout.h"
#include "platform/platform.h"
#include "shell/window_behaviour.h"

namespace tarvello::shell {
class shell;
}

namespace tarvello::main_window {

class main_window final : public shell::window_behaviour {
public:
    explicit main_window(shell::shell& owner_shell);

    // Builds the window and its controls, hidden. On failure nothing of it
    // remains and the result is false.
    bool create();
    void show();

    platform::handle window() const { return window_; }
    // The control with this layout name, or no_handle.
    platform::handle control(std::string_view name) const;
    shell::shell& app() { return shell_; }
    bool alive() const { return window_ != platform::no_handle; }

    // shell::window_behaviour
    bool pre_translate(platform::handle target, const platform::key_press& key) override;
    void clicked(platform::handle control) override;
    void tick(platform::handle timer) override;
    void close_requested() override;
    void activated() override;
    void deactivated() override;
    void destroyed() override;

private:
    bool create_controls();
    void discard();
    void move_focus(bool forward);
    bool pane_has_focus() const;
    void run_bound(platform::handle control);
    void run(action bound);
    std::string_view name_of(platform::handle control) const;

    shell::shell& shell_;
    platform::handle window_ = platform::no_handle;
    std::map<std::string_view, platform::handle> controls_;
    std::vector<platform::handle> keyboard_order_;
    platform::handle remembered_focus_ = platform::no_handle;
};

}  // namespace tarvello::main_window
