// What a window of the program offers the shell, which routes the backend's
// events to the window that they belong to.
#pragma once

#include "platform/platform.h"

namespace tarvello::shell {

class window_behaviour {
public:
    virtual ~window_behaviour() = default;
    // A key for `target` (this window or one of its controls), before the
    // control sees it. True when consumed.
    virtual bool pre_translate(platform::handle target, const platform::key_press& key) = 0;
    // Only clicks and ticks reach actions; the shell holds them back while
    // a window is being built and once an exit has begun.
    virtual void clicked(platform::handle control) = 0;
    virtual void tick(platform::handle timer) = 0;
    virtual void close_requested() = 0;
    virtual void activated() = 0;
    virtual void deactivated() = 0;
    virtual void destroyed() = 0;
};

}  // namespace tarvello::shell
