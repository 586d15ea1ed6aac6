// A modal secondary window: its keys, its close requests, and the nested
// loop that keeps the whole thread's events flowing while it is open.
#include "secondary_windows/show_modally.h"

#include <utility>
#include <vector>

#include "main_window/layout.h"
#include "secondary_windows/layouts.h"
#include "shell/shell.h"

namespace tarvello::secondary_windows {

namespace {

class modal_window final : public shell::window_behaviour {
public:
    modal_window(shell::shell& app, const secondary_layout& layout) : app_(app), layout_(layout) {}

    bool build() {
        auto& ui = app_.ui();
        auto building = app_.hold_back_while_building();
        window_ = ui.create_window(
            window_settings_for(layout_, ui.primary_display_size(), app_.hidden_window()));
        if (window_ == platform::no_handle) return false;
        app_.add_window(window_, *this, /*owned=*/true);
        const auto made = ui.create_control(window_, label_settings_for(layout_));
        if (made == platform::no_handle) {
            ui.destroy(window_);
            return false;
        }
        app_.add_control(window_, made);
        ui.show(made);
        return true;
    }

    void open() {
        auto& ui = app_.ui();
        ui.show(window_);
        ui.activate(window_);
        for (auto other : app_.unowned_windows()) {
            if (other == window_) continue;
            disabled_.emplace_back(other, ui.is_enabled(other));
            ui.set_enabled(other, false);
        }
        app_.run_nested_loop(closed_);
    }

    bool pre_translate(platform::handle, const platform::key_press& press) override {
        using platform::key;
        switch (press.which) {
            case key::escape:
                if (!press.mods.none()) return false;
                close_requested();
                return true;
            case key::tab:
            case key::enter:
            case key::f1:
                return true;  // nothing here takes the focus or an Enter
            default:
                return false;
        }
    }
    void clicked(platform::handle) override {}
    void tick(platform::handle) override {}
    void activated() override {}
    void deactivated() override {}

    void close_requested() override {
        auto& ui = app_.ui();
        // The owner gets its input back before this window goes, so the
        // toolkit has an enabled window to hand the activation to.
        for (const auto& [other, was_enabled] : disabled_) {
            if (ui.exists(other)) ui.set_enabled(other, was_enabled);
        }
        if (ui.exists(window_)) ui.destroy(window_);
        for (const auto& [other, was_enabled] : disabled_) {
            if (was_enabled && ui.exists(other)) {
                ui.activate(other);
                break;
            }
        }
        disabled_.clear();
    }

    void destroyed() override { closed_ = true; }

private:
    shell::shell& app_;
    const secondary_layout& layout_;
    platform::handle window_ = platform::no_handle;
    std::vector<std::pair<platform::handle, bool>> disabled_;
    bool closed_ = false;
};

}  // namespace

platform::window_settings window_settings_for(const secondary_layout& layout, platform::size screen,
                                              platform::handle owner) {
    platform::window_settings settings;
    settings.kind = platform::window_kind::modal;
    settings.caption = std::string(layout.caption);
    settings.outer = main_window::centred(screen, layout.outer);
    settings.owner = owner;
    settings.with_icon = true;
    return settings;
}

platform::control_settings label_settings_for(const secondary_layout& layout) {
    return {platform::control_kind::label,
            std::string(layout.label_name),
            layout.label_place,
            std::string(layout.label_text),
            false,
            layout.label};
}

bool show_modally(shell::shell& app, which window) {
    modal_window modal(
        app, window == which::instructions ? instructions_layout : missing_address_layout);
    if (!modal.build()) return false;
    modal.open();
    return true;
}

}  // namespace tarvello::secondary_windows
