// The fatal-error box: modal, with no owner, the error icon and one OK
// button. Its own modal loop goes on dispatching the thread's messages, and
// the shell's hold-back keeps them from the actions meanwhile.
#include <cstdio>

#include "platform/win32/win32_platform.h"

namespace tarvello::platform::win32 {

void win32_platform::error_box(const std::string& caption, const std::string& text) {
    if (MessageBoxW(nullptr, wide(text).c_str(), wide(caption).c_str(), MB_ICONERROR | MB_OK) ==
        0) {
        // No box could be shown: the text goes where someone may still read it.
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
}

}  // namespace tarvello::platform::win32
