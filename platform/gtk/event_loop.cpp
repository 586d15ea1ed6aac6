// The GTK backend's event loop and the process around it: the display, the
// program's style, process services, where each key and input event goes
// (a disabled window takes none), and the message queue.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/backend.h"
#include "platform/gtk/gtk_platform.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tarvello::platform::gtk {

namespace {

gtk_platform* the_platform = nullptr;

}  // namespace

gtk_platform* current_backend() {
    return the_platform;
}

gtk_platform::gtk_platform() {
    the_platform = this;
}

gtk_platform::~gtk_platform() {
    the_platform = nullptr;
}

namespace {

constexpr const char* program_css =
    "entry.tarvello { min-height: 0; min-width: 0; padding: 0 2px; border-radius: 0;"
    " border-width: 1px; border-style: solid;"
    " border-color: #808080 #ffffff #ffffff #808080; box-shadow: none;"
    " background-color: #ffffff; background-image: none; color: #000000; }"
    "button.tarvello { min-height: 0; min-width: 0; padding: 0 2px; }"
    ".tarvello-pane { background-color: #ffffff; }";

}  // namespace

bool gtk_platform::open_display() {
    // Exact placement needs X11: Wayland lets no client place its windows.
    gdk_set_allowed_backends("x11");
    // No argument reaches GTK: the program reads no command line.
    display_open_ = gtk_init_check(nullptr, nullptr) == TRUE;
    if (!display_open_) return false;
    gdk_event_handler_set(filter_event, nullptr, nullptr);
    install_style();
    return true;
}

void gtk_platform::install_style() {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, program_css, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

std::string gtk_platform::executable_path() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

bool gtk_platform::set_current_directory(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

void gtk_platform::exit_process(int code) {
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    // _Exit skips the leak check a sanitized build makes at exit: make it
    // here, so the program's own runs are checked too. A leak ends the
    // process with the sanitizer's exit code instead.
    __lsan_do_leak_check();
#endif
    std::_Exit(code);
}

size gtk_platform::primary_display_size() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return {};
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {};
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);  // the full size, not the work area
    return {area.width, area.height};
}

modifiers translate_key_state(guint state) {
    modifiers mods;
    mods.shift = (state & GDK_SHIFT_MASK) != 0;
    mods.ctrl = (state & GDK_CONTROL_MASK) != 0;
    mods.alt = (state & GDK_MOD1_MASK) != 0;
    return mods;
}

namespace {

key_press translate_key(const GdkEventKey* event) {
    key_press press;
    press.mods = translate_key_state(event->state);
    switch (event->keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab:
        case GDK_KEY_ISO_Left_Tab:
            press.which = key::tab;
            break;
        case GDK_KEY_Escape:
            press.which = key::escape;
            break;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            press.which = key::enter;
            break;
        case GDK_KEY_F1:
            press.which = key::f1;
            break;
        case GDK_KEY_space:
            press.which = key::space;
            break;
        default: {
            const gunichar c = gdk_keyval_to_unicode(gdk_keyval_to_lower(event->keyval));
            if (c < 128 && g_ascii_isalnum(static_cast<gchar>(c)))
                press.which = key::letter_or_digit;
        }
    }
    return press;
}

}  // namespace

gboolean on_key_press(GtkWidget* widget, GdkEventKey* event, gpointer) {
    auto* window = the_platform->window_of_widget(widget);
    if (window == nullptr || the_platform->sink() == nullptr) return FALSE;
    handle target =
        the_platform->control_of_widget(*window, gtk_window_get_focus(GTK_WINDOW(widget)));
    if (target == no_handle) target = window->id;
    return the_platform->offer_key(target, event) ? TRUE : FALSE;
}

// The view asks its window to move the focus on when Tab leaves the page's
// last field (or Shift+Tab its first): the window's keyboard order decides
// where, not the toolkit's own.
gboolean on_focus(GtkWidget* widget, GtkDirectionType direction, gpointer) {
    if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD) return FALSE;
    auto* window = the_platform->window_of_widget(widget);
    if (window == nullptr || the_platform->sink() == nullptr) return FALSE;
    const handle from =
        the_platform->control_of_widget(*window, gtk_window_get_focus(GTK_WINDOW(widget)));
    const auto* pane = the_platform->find(from);
    if (pane == nullptr || pane->kind != control_kind::browser_pane) return FALSE;
    the_platform->page_passes_focus_on(from, direction == GTK_DIR_TAB_BACKWARD);
    return TRUE;
}

bool gtk_platform::offer_key(handle target, const GdkEventKey* event) {
    key_press press = translate_key(event);
    if (page_key_.is(event)) {
        // The view gives back a key its page did not use. Where the page
        // already passed the focus on, the key has done its work.
        const bool done = page_key_.passed_on;
        const handle pane = page_key_.pane;
        page_key_ = {};
        if (done) return true;
        press.passed_on_by_page = true;
        return sink_->pre_translate(pane, press);
    }
    const auto* pane = find(target);
    const bool is_pane = pane != nullptr && pane->kind == control_kind::browser_pane;
    // A pane that shows no page has no field to take the key.
    const bool to_page = is_pane && !pane->address.empty();
    press.passed_on_by_page = is_pane && !to_page;
    if (sink_->pre_translate(target, press)) return true;
    if (to_page && press.which == key::tab) {
        page_key_ = {event->time, event->keyval, event->state, target, false};
    }
    return false;
}

void gtk_platform::page_passes_focus_on(handle pane, bool backwards) {
    key_press press{key::tab, {}, true};
    press.mods.shift = backwards;
    if (page_key_.pane == pane) {
        press.mods = translate_key_state(page_key_.state);
        page_key_.passed_on = true;
    }
    sink_->pre_translate(pane, press);
}

namespace {

// Input for a disabled window is dropped before GTK sees it, as a disabled
// window on Win32 takes no mouse or keyboard input; it still repaints.
bool is_input(GdkEventType type) {
    switch (type) {
        case GDK_BUTTON_PRESS:
        case GDK_2BUTTON_PRESS:
        case GDK_3BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
        case GDK_KEY_PRESS:
        case GDK_KEY_RELEASE:
        case GDK_SCROLL:
        case GDK_TOUCH_BEGIN:
        case GDK_TOUCH_UPDATE:
        case GDK_TOUCH_END:
        case GDK_MOTION_NOTIFY:
            return true;
        default:
            return false;
    }
}

}  // namespace

void filter_event(GdkEvent* event, gpointer) {
    if (is_input(event->type) && event->any.window != nullptr) {
        GdkWindow* top = gdk_window_get_toplevel(event->any.window);
        gpointer user = nullptr;
        gdk_window_get_user_data(top, &user);
        if (user != nullptr) {
            auto* window = the_platform->window_of_widget(GTK_WIDGET(user));
            if (window != nullptr && !window->enabled) return;
        }
    }
    gtk_main_do_event(event);
}

bool gtk_platform::wait_and_dispatch() {
    if (quit_posted_) return false;
    g_main_context_iteration(nullptr, TRUE);
    return !quit_posted_;
}

void gtk_platform::post_quit(int code) {
    quit_posted_ = true;
    quit_code_ = code;
    g_main_context_wakeup(nullptr);
}

}  // namespace tarvello::platform::gtk

namespace tarvello::platform {

std::unique_ptr<platform> make_platform() {
    return std::make_unique<gtk::gtk_platform>();
}

}  // namespace tarvello::platform
