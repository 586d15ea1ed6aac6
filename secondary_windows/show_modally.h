// Show modally: builds a secondary window, disables the program's other
// top-level windows, and runs a nested event loop until it is closed.
#pragma once

namespace tarvello::shell {
class shell;
}

namespace tarvello::secondary_windows {

enum class which { instructions, missing_address };

// True once the window has been shown and closed again (or the quit of the
// main loop ended the wait); false at once when it cannot be built.
bool show_modally(shell::shell& app, which window);

}  // namespace tarvello::secondary_windows
