// Test access to the real backend, toolkit-free: pump its event loop until a
// condition holds, send real key presses through the X server, and read
// back pixels. Only the GUI tests link this.
#pragma once

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace tarvello::platform::probe {

// Runs the backend's event loop until `done` holds or `timeout_ms` passes.
// True when the condition was met.
bool pump_until(const std::function<bool()>& done, int timeout_ms);
// A real key press and release through the X server (XTest), to whichever
// window has the input focus.
void send_key(key which, modifiers mods);
// The colour on screen at a point of the window's client area.
colour pixel_at(handle window, int x, int y);
// For each row of an area of the window's client area, whether any of its
// pixels is dark: the rows where black text stands.
std::vector<bool> dark_rows(handle window, rect area);
// True once the window is mapped, placed and active.
bool window_settled(handle window);

}  // namespace tarvello::platform::probe
