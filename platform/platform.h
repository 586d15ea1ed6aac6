// The toolkit-free face of the window toolkit and the web view.
//
// Everything the program does on screen goes through this interface, so the
// shell, the main window and the secondary windows never see a toolkit type.
// Each backend (platform/gtk/, later platform/win32/) implements it; the build
// picks the backend. Windows and controls are plain handles, as on Win32.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarvello::platform {

// 0 is no handle; handles are never reused within a run.
using handle = std::uint32_t;
inline constexpr handle no_handle = 0;

struct rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const rect&, const rect&) = default;
};

struct size {
    int width = 0;
    int height = 0;
    friend bool operator==(const size&, const size&) = default;
};

struct colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

enum class window_kind {
    hidden_owner,  // the invisible application window: never shown, owns modal windows
    main,          // has its own taskbar entry
    modal,         // owned; no taskbar entry
};

// A top-level window. The outer size is frame and title bar included; the
// place is the outer top-left corner in screen pixels (may be negative).
struct window_settings {
    window_kind kind = window_kind::main;
    std::string caption;  // UTF-8
    rect outer;
    bool minimise_box = false;
    bool maximise_box = false;
    bool with_icon = true;
    handle owner = no_handle;
};

enum class control_kind { label, edit_box, push_button, browser_pane, timer };
enum class h_align { left, centre, right };
enum class v_align { top, centre, bottom };

struct label_style {
    h_align horizontal = h_align::left;
    v_align vertical = v_align::centre;
    bool word_wrap = false;
    colour text{0, 0, 0};
};

// A child control. The place is relative to the window's client area; the
// size is the control's outer size, its own edge included. Text is UTF-8.
struct control_settings {
    control_kind kind = control_kind::label;
    std::string name;  // the layout name, kept for look-ups and accessibility
    rect place;
    std::string text;
    bool tab_stop = false;
    label_style label;
    // What accessibility tools call a control whose text does not say it
    // (the browser pane); empty: its own text, if any.
    std::string accessible_name = {};
};

enum class key {
    other,
    tab,
    escape,
    enter,
    f1,
    space,
    letter_or_digit,
};

struct modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool none() const { return !shift && !ctrl && !alt; }
};

struct key_press {
    key which = key::other;
    modifiers mods;
    // Offered again after a page in a browser pane had it and had no further
    // stop for it (or the pane shows no page): the window's own keyboard
    // order takes over from the pane.
    bool passed_on_by_page = false;
};

// What the backend reports. Each call comes on the user-interface thread
// from the event dispatch of the backend.
class event_sink {
public:
    virtual ~event_sink() = default;
    // A key on its way to `target` (a control, or the window itself), offered
    // before the control sees it. Returns true when the key is consumed.
    // A Tab left to a browser pane that shows a page goes to the page, which
    // moves through its own fields; once it has none left, the same Tab is
    // offered again, marked passed on by the page.
    virtual bool pre_translate(handle target, const key_press& key) = 0;
    virtual void clicked(handle button) = 0;
    virtual void tick(handle timer) = 0;
    // The user or the window manager asks the window to close.
    virtual void close_requested(handle window) = 0;
    virtual void activated(handle window) = 0;
    virtual void deactivated(handle window) = 0;
    // The window and all its controls are gone.
    virtual void destroyed(handle window) = 0;
};

class platform {
public:
    virtual ~platform() = default;

    // Connects to the display. False when there is none to connect to.
    virtual bool open_display() = 0;
    virtual void set_event_sink(event_sink* sink) = 0;

    // Whatever the web engine needs before the first browser pane. When the
    // engine cannot run here as it must (its sandbox cannot be set up), says
    // why, for the user; nothing is prepared then.
    virtual std::optional<std::string> prepare_engine() = 0;
    virtual void release_engine() = 0;

    // Process services.
    virtual std::string executable_path() = 0;
    virtual char path_separator() const = 0;
    virtual bool set_current_directory(const std::string& path) = 0;
    [[noreturn]] virtual void exit_process(int code) = 0;

    virtual size primary_display_size() = 0;

    // Windows, created hidden. no_handle on failure.
    virtual handle create_window(const window_settings& settings) = 0;
    virtual handle create_control(handle window, const control_settings& settings) = 0;
    // Stacks the window's controls, the first one on top.
    virtual void stack_controls(handle window, std::span<const handle> top_to_bottom) = 0;
    // Tells accessibility tools that `label` names `control`, both ways:
    // the control is labelled by the label, the label is the label for it.
    virtual void set_labelled_by(handle control, handle label) = 0;
    virtual void show(handle window_or_control) = 0;
    virtual void activate(handle window) = 0;
    // Destroys a window with its controls; reports destroyed() once it is gone.
    virtual void destroy(handle window) = 0;
    virtual bool exists(handle window_or_control) const = 0;

    virtual void set_enabled(handle window, bool enabled) = 0;
    virtual bool is_enabled(handle window) const = 0;
    virtual bool is_visible(handle window_or_control) const = 0;

    virtual void set_focus(handle control) = 0;
    // The control of the window that holds the keyboard focus, or no_handle.
    virtual handle focused_control(handle window) const = 0;

    // The outer rectangle of a window on screen, frame included, or a
    // control's rectangle in its window's client area.
    virtual rect geometry(handle window_or_control) const = 0;

    // Edit boxes. Empty is reported as nullopt.
    virtual std::optional<std::string> text(handle edit_box) const = 0;

    // Browser pane.
    virtual void navigate(handle pane, const std::string& address) = 0;
    virtual void reload(handle pane) = 0;

    // Timers. Ticks come at start + n * period on a monotonic clock; a tick
    // that falls due while the thread is busy comes once, never piled up.
    virtual void start_timer(handle timer, int period_ms) = 0;
    virtual void stop_timer(handle timer) = 0;
    virtual int timer_period(handle timer) const = 0;

    // A modal box with no owner, the error icon and one OK button.
    // Without a display the text goes to standard error instead.
    virtual void error_box(const std::string& caption, const std::string& text) = 0;

    // The message queue. wait_and_dispatch blocks for the next event and
    // dispatches it; it returns false, leaving the quit in place, once quit
    // has been posted.
    virtual bool wait_and_dispatch() = 0;
    virtual void post_quit(int code) = 0;
    virtual int quit_code() const = 0;
};

}  // namespace tarvello::platform
