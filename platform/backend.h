// The one entry point into whichever backend the build chose.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace tarvello::platform {

// The backend of this build (GTK on Linux, Win32 on Windows).
std::unique_ptr<platform> make_platform();

}  // namespace tarvello::platform
