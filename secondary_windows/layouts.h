// The two secondary windows as data: the instructions window and the
// missing-address window, each a fixed frame with one label.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace tarvello::secondary_windows {

struct secondary_layout {
    std::string_view caption;
    platform::size outer;
    std::string_view label_name;
    platform::rect label_place;
    std::string_view label_text;
    platform::label_style label;
};

inline constexpr std::string_view instructions_text =
    "本软件为Lumora编写可能会被报病毒\r\n\r\n如果介意请绕行\r\n\r\n使用说明\r\n\r\n"
    "使用时只要输入论坛网址就可以\r\n\r\n任务ID号可以到任务大厅去查看\r\n\r\n"
    "不要接受任务只要ID号\r\n\r\n输入完成后点击开始刷分软件就开始工作\r\n\r\n"
    "不刷了就关了行了\r\n\r\n不保证每个论坛都可以刷分\r\n\r\n出现事故不负责任";

inline constexpr secondary_layout instructions_layout{
    "说明",
    {380, 307},
    "说明",
    {40, 24, 304, 240},
    instructions_text,
    {platform::h_align::centre, platform::v_align::centre, /*word_wrap=*/true, {0, 0, 0}}};

inline constexpr secondary_layout missing_address_layout{
    "",
    {233, 138},
    "标签1",
    {48, 32, 136, 48},
    "没有网址你刷个毛分",
    {platform::h_align::centre, platform::v_align::centre, /*word_wrap=*/false, {0, 0, 0}}};

}  // namespace tarvello::secondary_windows
