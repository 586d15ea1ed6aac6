// Show modally: builds a secondary window, disables the program's other
// top-level windows, and runs a nested event loop until it is closed.
#pragma once

#include "platform/platform.h"
#include "secondary_windows/layouts.h"

namespace tarvello::shell {
class shell;
}

namespace tarvello::secondary_windows {

enum class which { instructions, missing_address };

// True once the window has been shown and closed again (or the quit of the
// main loop ended the wait); false at once when it cannot be built.
bool show_modally(shell::shell& app, which window);

// What the toolkit is asked for: the window centred on a screen of the
// given size and owned by `owner`, and its one label.
platform::window_settings window_settings_for(const secondary_layout& layout, platform::size screen,
                                              platform::handle owner);
platform::control_settings label_settings_for(const secondary_layout& layout);

}  // namespace tarvello::secondary_windows
