// Visit, claim, instructions and the refresh tick.
#include "main_window/actions.h"

#include <string>
#include <string_view>

#include "main_window/layout.h"
#include "main_window/main_window.h"
#include "main_window/text.h"
#include "secondary_windows/show_modally.h"
#include "shell/shell.h"

namespace tarvello::main_window {

namespace {

text::owned read_text(main_window& window, std::string_view edit_box) {
    return text::copy_of(window.app().ui().text(window.control(edit_box)));
}

void set_address(main_window& window, const char* address) {
    window.app().ui().navigate(window.control(browser_pane), address ? address : "");
}

}  // namespace

void visit_action(main_window& window) {
    auto typed = read_text(window, forum_box);
    const int empty = text::compare(typed.get(), "");
    typed.reset();
    if (empty == 0) {
        secondary_windows::show_modally(window.app(), secondary_windows::which::missing_address);
        return;
    }
    auto address = read_text(window, forum_box);
    set_address(window, address.get());
}

void claim_action(main_window& window) {
    auto forum = read_text(window, forum_box);
    auto task_id = read_text(window, task_box);
    auto claim_address = text::join({forum.get(), claim_path, task_id.get()});
    forum.reset();
    task_id.reset();
    set_address(window, claim_address.get());
    claim_address.reset();
    set_refresh_period(window, claim_period_ms);
}

void instructions_action(main_window& window) {
    secondary_windows::show_modally(window.app(), secondary_windows::which::instructions);
}

void refresh_tick(main_window& window) {
    window.app().ui().reload(window.control(browser_pane));
}

void set_refresh_period(main_window& window, int period_ms) {
    auto& ui = window.app().ui();
    const auto timer = window.control(refresh_timer);
    const int period = period_ms < 0 ? 0 : period_ms;
    if (period == ui.timer_period(timer)) return;
    ui.stop_timer(timer);
    if (period > 0) ui.start_timer(timer, period);
}

}  // namespace tarvello::main_window
