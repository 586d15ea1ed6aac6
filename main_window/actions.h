// The four actions bound to the main window's controls. Each takes what it
// needs from the window's controls, keeps nothing between calls, and runs
// to its end on the user-interface thread.
#pragma once

namespace tarvello::main_window {

class main_window;

inline constexpr const char* claim_path = "/home.php?mod=task&do=draw&id=";
inline constexpr int claim_period_ms = 2000;

void visit_action(main_window& window);
void claim_action(main_window& window);
void instructions_action(main_window& window);
void refresh_tick(main_window& window);

// The timer's period rules: a negative value counts as 0; the period it
// already has changes nothing; any other value restarts the countdown.
void set_refresh_period(main_window& window, int period_ms);

}  // namespace tarvello::main_window
