// The start-up sequence, the event loop and both ways of ending the process.
#include "shell/shell.h"

#include <cstdlib>

#include "main_window/main_window.h"
#include "main_window/text.h"

namespace tarvello::shell {

namespace {
constexpr const char* error_caption = "错误";
constexpr const char* start_window_failed = "载入启动窗口失败";
}  // namespace

std::string fatal_error_text(const std::string& message) {
    return "运行时出错!\r\n\r\n" + std::string("错误信息：") + message + "\r\n";
}

std::optional<std::string> folder_of(const std::string& path, char separator) {
    const auto cut = path.rfind(separator);
    if (cut == std::string::npos) return std::nullopt;
    // The root folder keeps its separator, or it would name no folder at all.
    if (cut == 0) return path.substr(0, 1);
    return path.substr(0, cut);
}

shell::shell(platform::platform& ui) : ui_(ui) {
    ui_.set_event_sink(this);
    text::set_failure_handler(
        [this](std::size_t bytes) { fatal_stop(text::allocation_failure_message(bytes)); });
}

shell::~shell() {
    text::set_failure_handler(nullptr);
    ui_.set_event_sink(nullptr);
}

void shell::run() {
    // Without a display there is nothing to build the main window on.
    if (!ui_.open_display()) fatal_stop(start_window_failed);
    prepare_engine();
    enter_executable_folder();
    create_hidden_window();
    if (!create_main_window()) fatal_stop(start_window_failed);
    show_main_window();
    run_event_loop();
    orderly_exit();
}

void shell::prepare_engine() {
    // A failure to start the engine shows itself later, when the browser
    // pane cannot be made. An engine that could start but not safely is
    // said so at once: the user is told why no page will load.
    if (auto failure = ui_.prepare_engine()) fatal_stop(*failure);
    state_.engine_prepared = true;
}

void shell::enter_executable_folder() {
    const auto folder = folder_of(ui_.executable_path(), ui_.path_separator());
    if (folder) ui_.set_current_directory(*folder);  // a failure is ignored
}

bool shell::create_hidden_window() {
    platform::window_settings settings;
    settings.kind = platform::window_kind::hidden_owner;
    settings.with_icon = false;
    state_.hidden_window = ui_.create_window(settings);
    return state_.hidden_window != platform::no_handle;
}

bool shell::create_main_window() {
    auto window = std::make_unique<main_window::main_window>(*this);
    if (!window->create()) return false;
    main_ = std::move(window);
    return true;
}

void shell::show_main_window() {
    main_->show();
}

void shell::run_event_loop() {
    state_.loop_running = true;
    while (ui_.wait_and_dispatch()) {
    }
}

void shell::run_nested_loop(const bool& done) {
    while (!done && ui_.wait_and_dispatch()) {
    }
}

void shell::release() {
    if (state_.hidden_window != platform::no_handle && ui_.exists(state_.hidden_window)) {
        ui_.destroy(state_.hidden_window);
    }
    state_.hidden_window = platform::no_handle;
    if (state_.engine_prepared) {
        ui_.release_engine();
        state_.engine_prepared = false;
    }
}

void shell::orderly_exit() {
    ++state_.hold_back;  // never lowered again
    release();
    ui_.exit_process(ui_.quit_code());  // the quit is always posted with 0
    std::abort();                       // exit_process does not come back
}

void shell::fatal_stop(const std::string& message) {
    ++state_.hold_back;  // never lowered again
    ui_.error_box(error_caption, fatal_error_text(message));
    release();
    ui_.exit_process(-1);
    std::abort();  // exit_process does not come back
}

void shell::add_window(platform::handle window, window_behaviour& behaviour, bool owned) {
    windows_[window] = {&behaviour, owned};
}

std::vector<platform::handle> shell::unowned_windows() const {
    std::vector<platform::handle> found;
    for (const auto& [window, entry] : windows_) {
        if (!entry.owned) found.push_back(window);
    }
    return found;
}

void shell::add_control(platform::handle window, platform::handle control) {
    control_window_[control] = window;
}

window_behaviour* shell::behaviour_of(platform::handle window_or_control) {
    auto window = window_or_control;
    if (auto c = control_window_.find(window_or_control); c != control_window_.end()) {
        window = c->second;
    }
    auto w = windows_.find(window);
    return w == windows_.end() ? nullptr : w->second.behaviour;
}

bool shell::pre_translate(platform::handle target, const platform::key_press& key) {
    // Offered innermost first: the control has no handling of its own in
    // this program, so the first taker is its window. The windows' owner is
    // the hidden window, which handles no key.
    auto* behaviour = behaviour_of(target);
    return behaviour != nullptr && behaviour->pre_translate(target, key);
}

void shell::clicked(platform::handle button) {
    if (state_.hold_back > 0) return;
    if (auto* behaviour = behaviour_of(button)) behaviour->clicked(button);
}

void shell::tick(platform::handle timer) {
    if (state_.hold_back > 0) return;
    if (auto* behaviour = behaviour_of(timer)) behaviour->tick(timer);
}

void shell::close_requested(platform::handle window) {
    if (auto* behaviour = behaviour_of(window)) behaviour->close_requested();
}

void shell::activated(platform::handle window) {
    if (auto* behaviour = behaviour_of(window)) behaviour->activated();
}

void shell::deactivated(platform::handle window) {
    if (auto* behaviour = behaviour_of(window)) behaviour->deactivated();
}

void shell::destroyed(platform::handle window) {
    auto w = windows_.find(window);
    if (w == windows_.end()) return;  // the hidden window, or not ours
    auto* behaviour = w->second.behaviour;
    windows_.erase(w);
    std::erase_if(control_window_, [window](const auto& c) { return c.second == window; });
    behaviour->destroyed();
    // The last window of the program has gone: end the loop.
    if (windows_.empty() && state_.loop_running) ui_.post_quit(0);
}

}  // namespace tarvello::shell
