// Test fixtures over the fake platform: a program started up to its event
// loop, and a helper that runs it to its end and gives the exit code.
#pragma once

#include <string>

#include "main_window/main_window.h"
#include "shell/shell.h"
#include "tests/support/fake_platform.h"

namespace tarvello::testing {

inline int run_to_exit(shell::shell& app) {
    try {
        app.run();
    } catch (const fake_exit& e) {
        return e.code;
    }
    return 999;  // run() came back: never right
}

struct started_program {
    fake_platform ui;
    shell::shell app{ui};

    started_program() { start(); }
    explicit started_program(platform::size screen) {
        ui.screen = screen;
        start();
    }
    void start() {
        ui.open_display();
        app.prepare_engine();
        app.enter_executable_folder();
        app.create_hidden_window();
        if (!app.create_main_window()) throw std::runtime_error("main window not created");
        app.show_main_window();
    }
    platform::handle control(const std::string& name) const { return ui.find_control(name); }
    platform::handle main() const { return ui.find_window("Tarvello  by:Miskard"); }
    platform::handle focused() const { return ui.focused_control(main()); }
    std::string focused_name() const {
        const auto* o = ui.object(focused());
        return o == nullptr ? "" : o->control.name;
    }
    // A key as the backend offers it: to the focused control first. A
    // browser pane that was never given an address shows no page, so it has
    // nothing to take the key: the backend passes it on at once.
    bool press(platform::key which, platform::modifiers mods = {}) {
        const auto target = focused() != platform::no_handle ? focused() : main();
        const bool no_page =
            target == control(std::string(main_window::browser_pane)) && ui.requests.empty();
        return ui.sink()->pre_translate(target, {which, mods, no_page});
    }
    // The page in the pane had no further stop for a key and gives it back.
    bool passed_on_by_page(platform::key which, platform::modifiers mods = {}) {
        return ui.sink()->pre_translate(focused(), {which, mods, true});
    }
};

}  // namespace tarvello::testing
