// Building the main window from its layout, and the keys and focus rules
// that the window applies itself before any control sees a key.
#include "main_window/main_window.h"

#include <algorithm>

#include "main_window/actions.h"
#include "shell/shell.h"

namespace tarvello::main_window {

main_window::main_window(shell::shell& owner_shell) : shell_(owner_shell) {}

bool main_window::create() {
    auto& ui = shell_.ui();
    auto building = shell_.hold_back_while_building();
    platform::window_settings settings;
    settings.kind = platform::window_kind::main;
    settings.caption = std::string(main_window_layout.caption);
    settings.outer = centred(ui.primary_display_size(), main_window_layout.outer);
    settings.minimise_box = main_window_layout.minimise_box;
    settings.maximise_box = main_window_layout.maximise_box;
    settings.with_icon = true;
    window_ = ui.create_window(settings);
    if (window_ == platform::no_handle) return false;
    shell_.add_window(window_, *this);
    if (!create_controls()) {
        discard();
        return false;
    }
    return true;
}

bool main_window::create_controls() {
    auto& ui = shell_.ui();
    // Created from the last row up; stacked explicitly afterwards, so the
    // result does not hang on what order the toolkit stacks new children in.
    for (auto row = main_window_controls.rbegin(); row != main_window_controls.rend(); ++row) {
        platform::control_settings settings{row->kind,
                                            std::string(row->name),
                                            row->place,
                                            std::string(row->text),
                                            row->tab_stop,
                                            row->label,
                                            std::string(row->accessible_name)};
        const auto made = ui.create_control(window_, settings);
        if (made == platform::no_handle) return false;
        controls_[row->name] = made;
        shell_.add_control(window_, made);
    }
    std::vector<platform::handle> top_to_bottom;
    for (const auto& row : main_window_controls) top_to_bottom.push_back(controls_[row.name]);
    ui.stack_controls(window_, top_to_bottom);
    for (const auto& row : main_window_controls) {
        if (!row.labelled_by.empty()) {
            ui.set_labelled_by(controls_[row.name], control(row.labelled_by));
        }
    }
    for (const auto& row : main_window_controls) {
        if (row.kind != platform::control_kind::timer) ui.show(controls_[row.name]);
    }
    for (auto index : keyboard_order(main_window_controls)) {
        keyboard_order_.push_back(controls_[main_window_controls[index].name]);
    }
    return true;
}

void main_window::discard() {
    const auto window = window_;
    shell_.ui().destroy(window);  // takes every control built so far with it
    window_ = platform::no_handle;
    controls_.clear();
    keyboard_order_.clear();
}

void main_window::show() {
    auto& ui = shell_.ui();
    ui.show(window_);
    ui.activate(window_);
}

platform::handle main_window::control(std::string_view name) const {
    auto c = controls_.find(name);
    return c == controls_.end() ? platform::no_handle : c->second;
}

std::string_view main_window::name_of(platform::handle control) const {
    for (const auto& [name, made] : controls_) {
        if (made == control) return name;
    }
    return {};
}

bool main_window::pre_translate(platform::handle, const platform::key_press& press) {
    using platform::key;
    const auto& mods = press.mods;
    switch (press.which) {
        case key::tab:
            if (mods.ctrl || mods.alt) return false;
            // As in a browser, a page in the pane moves through its own
            // fields first; past its last one the window's order goes on.
            if (pane_has_focus() && !press.passed_on_by_page) return false;
            move_focus(!mods.shift);
            return true;
        case key::escape:
            if (!mods.none()) return false;
            close_requested();
            return true;
        case key::enter:
        case key::f1:
            // Nothing claims them here: no default button, no help. A page in
            // the browser pane still gets them, so its forms can be sent.
            return !pane_has_focus();
        case key::letter_or_digit:
            // No text of the window marks an access key.
            return mods.alt && !pane_has_focus();
        default:
            return false;
    }
}

bool main_window::pane_has_focus() const {
    return shell_.ui().focused_control(window_) == control(browser_pane);
}

void main_window::move_focus(bool forward) {
    auto& ui = shell_.ui();
    std::vector<platform::handle> reachable;
    for (auto c : keyboard_order_) {
        if (ui.is_visible(c) && ui.is_enabled(c)) reachable.push_back(c);
    }
    if (reachable.empty()) return;
    const auto focused = ui.focused_control(window_);
    const auto at = std::find(reachable.begin(), reachable.end(), focused);
    const auto n = static_cast<std::ptrdiff_t>(reachable.size());
    std::ptrdiff_t next = 0;
    if (at == reachable.end()) {
        next = forward ? 0 : n - 1;
    } else {
        const auto i = at - reachable.begin();
        next = forward ? (i + 1) % n : (i + n - 1) % n;
    }
    ui.set_focus(reachable[static_cast<std::size_t>(next)]);
}

void main_window::run_bound(platform::handle control) {
    const auto name = name_of(control);
    for (const auto& b : main_window_bindings) {
        if (b.control == name) run(b.bound);
    }
}

void main_window::clicked(platform::handle control) {
    run_bound(control);
}

void main_window::tick(platform::handle timer) {
    run_bound(timer);
}

void main_window::run(action bound) {
    switch (bound) {
        case action::visit:
            visit_action(*this);
            break;
        case action::claim:
            claim_action(*this);
            break;
        case action::instructions:
            instructions_action(*this);
            break;
        case action::refresh_tick:
            refresh_tick(*this);
            break;
    }
}

void main_window::close_requested() {
    if (window_ != platform::no_handle) shell_.ui().destroy(window_);
}

void main_window::activated() {
    auto& ui = shell_.ui();
    auto target = remembered_focus_;
    remembered_focus_ = platform::no_handle;
    if (target == platform::no_handle || !ui.exists(target)) {
        if (keyboard_order_.empty()) return;
        target = keyboard_order_.front();
    }
    ui.set_focus(target);
}

void main_window::deactivated() {
    remembered_focus_ = shell_.ui().focused_control(window_);
}

void main_window::destroyed() {
    window_ = platform::no_handle;
    controls_.clear();
    keyboard_order_.clear();
    remembered_focus_ = platform::no_handle;
}

}  // namespace tarvello::main_window
