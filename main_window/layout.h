// The main window's layout as data: the window's settings, its nine controls
// in layout order (top of the stacking order first), and the event bindings.
// Nothing here changes at run time.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tarvello::main_window {

struct window_layout {
    std::string_view caption;
    platform::size outer;
    bool minimise_box;
    bool maximise_box;
};

struct control_row {
    std::string_view name;
    platform::control_kind kind;
    platform::rect place;
    std::string_view text;
    bool tab_stop;
    int tab_rank;  // all share one rank here; a tie goes to the later row
    platform::label_style label;
    // For accessibility tools: the label in front of an edit box names it,
    // as a static label names the box after it on Windows; a control with
    // no text of its own to say what it is gets a name.
    std::string_view labelled_by = {};
    std::string_view accessible_name = {};
};

enum class action { visit, claim, instructions, refresh_tick };

struct binding {
    std::string_view control;
    action bound;
};

inline constexpr window_layout main_window_layout{
    "Tarvello  by:Miskard", {845, 616}, /*minimise_box=*/true, /*maximise_box=*/false};

inline constexpr platform::label_style plain_label{
    platform::h_align::left, platform::v_align::centre, /*word_wrap=*/false, {0, 0, 0}};

using platform::control_kind;

// The names the actions and the window's own rules reach controls by.
inline constexpr std::string_view forum_box = "编辑框1";
inline constexpr std::string_view task_box = "编辑框2";
inline constexpr std::string_view browser_pane = "超文本浏览框1";
inline constexpr std::string_view refresh_timer = "时钟1";

// The timer's laid-out place (824, 112, 26 x 26) takes no room: it is never shown.
// The browser pane is named for what it is, "浏览器" (browser), a plain word
// a listener knows at once; the page inside it names itself by its title.
inline constexpr std::array<control_row, 9> main_window_controls{{
    {refresh_timer, control_kind::timer, {824, 112, 26, 26}, "", false, 0, {}},
    {"按钮3", control_kind::push_button, {744, 24, 80, 32}, "说明", true, 0, {}},
    {browser_pane, control_kind::browser_pane, {8, 64, 816, 512}, "", true, 0, {}, "", "浏览器"},
    {task_box, control_kind::edit_box, {440, 33, 80, 20}, "", true, 0, {}, "标签2"},
    {"标签2", control_kind::label, {376, 31, 80, 24}, "任务ID号", false, 0, plain_label},
    {forum_box, control_kind::edit_box, {80, 32, 280, 24}, "", true, 0, {}, "标签1"},
    {"标签1", control_kind::label, {24, 32, 64, 24}, "论坛网址", false, 0, plain_label},
    {"按钮2", control_kind::push_button, {647, 24, 80, 32}, "开始刷分", true, 0, {}},
    {"按钮1", control_kind::push_button, {547, 24, 80, 32}, "访问", true, 0, {}},
}};

inline constexpr std::array<binding, 4> main_window_bindings{{
    {"按钮1", action::visit},
    {"按钮2", action::claim},
    {"按钮3", action::instructions},
    {refresh_timer, action::refresh_tick},
}};

// Indices into `rows` of the tab stops in keyboard order: by rank, and on a
// tie the row that comes later in the layout first.
std::vector<std::size_t> keyboard_order(std::span<const control_row> rows);

// The start position "centre on screen": the quotients truncate toward zero
// and are not clamped, so a small screen gives negative places.
platform::rect centred(platform::size screen, platform::size outer);

}  // namespace tarvello::main_window
