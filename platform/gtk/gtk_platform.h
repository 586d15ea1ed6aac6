// The GTK3 + WebKitGTK backend: every handle maps to a GTK object here.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace tarvello::platform::gtk {

struct tick_source;

struct object {
    handle id = no_handle;
    bool is_window = false;
    window_kind kind_of_window = window_kind::main;
    control_kind kind = control_kind::label;
    handle parent = no_handle;          // a control's window
    GtkWidget* widget = nullptr;        // window, or the control's outermost widget
    GtkWidget* focus_target = nullptr;  // what takes the keyboard focus
    GtkWidget* client = nullptr;        // a window's client area (GtkFixed)
    WebKitWebView* view = nullptr;      // browser panes
    tick_source* timer = nullptr;       // timers
    int period_ms = 0;
    bool enabled = true;
    bool can_minimise = false;             // a window with a minimise box
    bool coming_back = false;              // minimised without a minimise box, asked back
    bool engine_lost = false;              // a pane whose web content process has died
    std::string address;                   // a pane's last address, which outlives its process
    WebKitScriptDialog* dialog = nullptr;  // an alert or confirm the page has open
    rect wanted;                           // a window's outer rectangle as asked for
    label_style label;
    std::string text;
};

class gtk_platform final : public platform {
public:
    gtk_platform();
    ~gtk_platform() override;

    bool open_display() override;
    void set_event_sink(event_sink* sink) override { sink_ = sink; }
    std::optional<std::string> prepare_engine() override;
    void release_engine() override;

    std::string executable_path() override;
    char path_separator() const override { return '/'; }
    bool set_current_directory(const std::string& path) override;
    [[noreturn]] void exit_process(int code) override;

    size primary_display_size() override;

    handle create_window(const window_settings& settings) override;
    handle create_control(handle window, const control_settings& settings) override;
    void stack_controls(handle window, std::span<const handle> top_to_bottom) override;
    void set_labelled_by(handle control, handle label) override;
    void show(handle id) override;
    void activate(handle window) override;
    void destroy(handle window) override;
    bool exists(handle id) const override;

    void set_enabled(handle id, bool enabled) override;
    bool is_enabled(handle id) const override;
    bool is_visible(handle id) const override;

    void set_focus(handle control) override;
    handle focused_control(handle window) const override;
    rect geometry(handle id) const override;

    std::optional<std::string> text(handle edit_box) const override;
    void navigate(handle pane, const std::string& address) override;
    void reload(handle pane) override;

    void start_timer(handle timer, int period_ms) override;
    void stop_timer(handle timer) override;
    int timer_period(handle timer) const override;

    void error_box(const std::string& caption, const std::string& text) override;

    bool wait_and_dispatch() override;
    void post_quit(int code) override;
    int quit_code() const override { return quit_code_; }

    // Used by the signal handlers.
    event_sink* sink() const { return sink_; }
    object* find(handle id);
    const object* find(handle id) const;
    object* window_of_widget(GtkWidget* toplevel);
    handle control_of_widget(const object& window, GtkWidget* widget) const;
    void fit_frame(object& window);
    void place_frame(object& window);
    void hand_on_activation(const object& refused);
    // Keys: offered to the program first; a Tab left to a page in a pane is
    // remembered until the view gives it back or the page passes the focus on.
    bool offer_key(handle target, const GdkEventKey* event);
    void page_passes_focus_on(handle pane, bool backwards);

private:
    std::unique_ptr<object> new_object();
    handle add(std::unique_ptr<object> made);
    GtkWidget* make_label(object& made, const control_settings& settings);
    GtkWidget* make_edit_box(object& made);
    GtkWidget* make_button(object& made, const control_settings& settings);
    GtkWidget* make_browser_pane(object& made);
    void connect_window_signals(object& window);
    void drop_controls_of(handle window);
    void install_style();
    void set_icon(GtkWindow* window);

    event_sink* sink_ = nullptr;
    std::map<handle, std::unique_ptr<object>> objects_;
    handle next_handle_ = 1;
    handle hidden_window_ = no_handle;  // leads the group of all the program's windows
    struct page_key {
        guint32 time = 0;
        guint keyval = 0;
        guint state = 0;
        handle pane = no_handle;
        bool passed_on = false;  // the page has moved the focus on already
        bool is(const GdkEventKey* event) const {
            return pane != no_handle && event->time == time && event->keyval == keyval &&
                   event->state == state;
        }
    } page_key_;
    bool display_open_ = false;
    bool quit_posted_ = false;
    int quit_code_ = 0;
};

modifiers translate_key_state(guint state);

// The one backend of the process, for the signal handlers and the GUI
// tests' probe (event_loop.cpp).
gtk_platform* current_backend();

// Shared by the files of the backend: the record a control's signal carries
// the handle of (controls.cpp), where keys and input events go and the
// window's focus moves asked for by a browser pane (event_loop.cpp), and an
// open page dialog answered before a new load (browser_pane.cpp).
object* record_of(gpointer data);
gboolean on_key_press(GtkWidget* widget, GdkEventKey* event, gpointer);
gboolean on_focus(GtkWidget* widget, GtkDirectionType direction, gpointer);
void filter_event(GdkEvent* event, gpointer);
void close_script_dialog(object& pane);

// The drift-free timer (timer.cpp).
tick_source* start_tick_source(int period_ms, void (*on_tick)(void*), void* data);
void stop_tick_source(tick_source* source);

// Frame extents of a realized toplevel under an X11 window manager (frame.cpp).
struct extents {
    int left = 0, right = 0, top = 0, bottom = 0;
};
extents request_frame_extents(GtkWindow* window);
extents current_frame_extents(GtkWindow* window);
// The program's windows form one group led by the hidden window; a modal
// window is owned by that group (frame.cpp).
void join_group(GtkWindow* window, GtkWindow* leader);
void own_by_group(GtkWindow* window);
// A window is put at its place, at its outer size, once it is mapped and
// whenever the manager announces a new frame (frame.cpp).
gboolean on_map(GtkWidget* widget, GdkEvent*, gpointer);
gboolean on_property(GtkWidget* widget, GdkEventProperty* event, gpointer);

// Why the web engine's sandbox cannot be set up here, if it cannot
// (sandbox.cpp).
std::optional<std::string> sandbox_failure();

// Labels (label.cpp): a widget that accessibility tools see as a label
// with this text, and its drawing.
GtkWidget* new_label_widget(const std::string& text);
gboolean draw_label(GtkWidget* widget, cairo_t* cr, gpointer data);

}  // namespace tarvello::platform::gtk
