// The fake platform's records, queue and clock.
#include "tests/support/fake_platform.h"

#include <stdexcept>

namespace tarvello::testing {

using pf::handle;
using pf::no_handle;

bool fake_platform::open_display() {
    calls.push_back("open_display");
    return display;
}

bool fake_platform::set_current_directory(const std::string& path) {
    calls.push_back("chdir " + path);
    current_directory = path;
    return true;
}

void fake_platform::exit_process(int code) {
    calls.push_back("exit " + std::to_string(code));
    throw fake_exit{code};
}

handle fake_platform::create_window(const pf::window_settings& settings) {
    if (fail_windows && settings.kind != pf::window_kind::hidden_owner) return no_handle;
    const handle id = next_++;
    auto& o = objects_[id];
    o.is_window = true;
    o.window = settings;
    calls.push_back(settings.kind == pf::window_kind::hidden_owner ? "hidden_window"
                                                                   : "window " + settings.caption);
    return id;
}

handle fake_platform::create_control(handle window, const pf::control_settings& settings) {
    if (on_create_control) on_create_control(settings);
    if (!exists(window) || settings.name == fail_control) return no_handle;
    const handle id = next_++;
    auto& o = objects_[id];
    o.control = settings;
    o.parent = window;
    return id;
}

void fake_platform::stack_controls(handle, std::span<const handle> top_to_bottom) {
    stacked.assign(top_to_bottom.begin(), top_to_bottom.end());
}

void fake_platform::set_labelled_by(handle control, handle label) {
    auto* named = object(control);
    auto* naming = object(label);
    if (named == nullptr || naming == nullptr || naming->control.kind != pf::control_kind::label) {
        return;  // only a label labels, as in the real backend
    }
    named->labelled_by = label;
    naming->label_for = control;
}

void fake_platform::show(handle id) {
    if (auto* o = object(id)) {
        o->visible = true;
        if (o->is_window) calls.push_back("show " + o->window.caption);
    }
}

void fake_platform::activate(handle window) {
    if (!exists(window) || active_ == window) return;
    const auto previous = active_;
    active_ = window;
    if (sink_ && exists(previous)) sink_->deactivated(previous);
    if (sink_) sink_->activated(window);
}

void fake_platform::destroy(handle window) {
    if (!exists(window)) return;
    std::erase_if(objects_, [window](const auto& o) { return o.second.parent == window; });
    objects_.erase(window);
    if (active_ == window) active_ = no_handle;
    if (sink_) sink_->destroyed(window);
}

void fake_platform::set_enabled(handle id, bool enabled) {
    if (auto* o = object(id)) o->enabled = enabled;
}

bool fake_platform::is_enabled(handle id) const {
    const auto* o = object(id);
    return o != nullptr && o->enabled;
}

bool fake_platform::is_visible(handle id) const {
    const auto* o = object(id);
    return o != nullptr && o->visible;
}

void fake_platform::set_focus(handle control) {
    auto* o = object(control);
    if (o == nullptr || o->is_window) return;
    if (auto* w = object(o->parent)) w->focus = control;
}

handle fake_platform::focused_control(handle window) const {
    const auto* w = object(window);
    return w == nullptr ? no_handle : w->focus;
}

pf::rect fake_platform::geometry(handle id) const {
    const auto* o = object(id);
    if (o == nullptr) return {};
    return o->is_window ? o->window.outer : o->control.place;
}

std::optional<std::string> fake_platform::text(handle edit_box) const {
    const auto* o = object(edit_box);
    if (o == nullptr || o->typed.empty()) return std::nullopt;
    return o->typed;
}

void fake_platform::navigate(handle, const std::string& address) {
    requests.push_back({now_ms, "navigate " + address});
}

void fake_platform::reload(handle) {
    requests.push_back({now_ms, "reload"});
}

void fake_platform::start_timer(handle timer, int period_ms) {
    auto* o = object(timer);
    if (o == nullptr || period_ms <= 0) return;
    o->period_ms = period_ms;
    o->started_ms = now_ms;
    o->next_tick_ms = now_ms + period_ms;
}

void fake_platform::stop_timer(handle timer) {
    if (auto* o = object(timer)) o->period_ms = 0;
}

int fake_platform::timer_period(handle timer) const {
    const auto* o = object(timer);
    return o == nullptr ? 0 : o->period_ms;
}

void fake_platform::error_box(const std::string& caption, const std::string& text) {
    boxes.emplace_back(caption, text);
}

bool fake_platform::fire_next_timer(std::int64_t limit_ms) {
    handle due = no_handle;
    std::int64_t when = limit_ms + 1;
    for (const auto& [id, o] : objects_) {
        if (o.period_ms > 0 && o.next_tick_ms < when) {
            due = id;
            when = o.next_tick_ms;
        }
    }
    if (due == no_handle) return false;
    if (when > now_ms) now_ms = when;
    auto& o = objects_[due];
    // Like the real timer: one tick however many grid points were missed.
    const auto periods = (now_ms - o.started_ms) / o.period_ms;
    o.next_tick_ms = o.started_ms + (periods + 1) * o.period_ms;
    if (sink_) sink_->tick(due);
    return true;
}

bool fake_platform::wait_and_dispatch() {
    if (quit_) return false;
    if (!queue.empty()) {
        auto event = std::move(queue.front());
        queue.pop_front();
        event();
        return !quit_;
    }
    if (!fire_next_timer(INT64_MAX - 1)) {
        // Nothing could ever come: a real loop would block for good.
        throw std::runtime_error("the event loop would wait forever");
    }
    return !quit_;
}

void fake_platform::run_until(std::int64_t until_ms) {
    for (;;) {
        if (quit_) return;
        if (!queue.empty()) {
            auto event = std::move(queue.front());
            queue.pop_front();
            event();
            continue;
        }
        if (!fire_next_timer(until_ms)) break;
    }
    if (now_ms < until_ms) now_ms = until_ms;
}

void fake_platform::post_quit(int code) {
    quit_ = true;
    quit_code_ = code;
}

handle fake_platform::find_control(const std::string& name) const {
    for (const auto& [id, o] : objects_) {
        if (!o.is_window && o.control.name == name) return id;
    }
    return no_handle;
}

handle fake_platform::find_window(const std::string& caption) const {
    for (const auto& [id, o] : objects_) {
        if (o.is_window && o.window.kind != pf::window_kind::hidden_owner &&
            o.window.caption == caption)
            return id;
    }
    return no_handle;
}

const fake_object* fake_platform::object(handle id) const {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : &o->second;
}

fake_object* fake_platform::object(handle id) {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : &o->second;
}

std::vector<handle> fake_platform::windows() const {
    std::vector<handle> found;
    for (const auto& [id, o] : objects_) {
        if (o.is_window && o.window.kind != pf::window_kind::hidden_owner) found.push_back(id);
    }
    return found;
}

void fake_platform::type_into(const std::string& edit_box, const std::string& text) {
    if (auto* o = object(find_control(edit_box))) o->typed = text;
}

}  // namespace tarvello::testing
