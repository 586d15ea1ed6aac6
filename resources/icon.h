// The program's identity built into the executable: the icon image (the
// same 32 x 32 picture as the installed icon) and the description line.
#pragma once

#include <span>
#include <string_view>

namespace tarvello::resources {

// The PNG bytes of the 32 x 32 icon.
std::span<const unsigned char> icon_png();
std::string_view description();
inline constexpr std::string_view version = "1.0.0.0";

}  // namespace tarvello::resources
