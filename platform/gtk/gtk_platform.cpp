// The GTK backend's windows, event loop and process services.
#include "platform/gtk/gtk_platform.h"

#include <gdk/gdkx.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/backend.h"
#include "resources/icon.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tarvello::platform::gtk {

namespace {

gtk_platform* the_platform = nullptr;
// Where a toplevel widget keeps a pointer to its record.
constexpr const char* object_key = "tarvello-object";

}  // namespace

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

gboolean on_delete(GtkWidget* widget, GdkEvent*, gpointer) {
    auto* window = the_platform->window_of_widget(widget);
    // A disabled window refuses the manager's close, as it refuses input.
    if (window != nullptr && window->enabled && the_platform->sink() != nullptr) {
        the_platform->sink()->close_requested(window->id);
    }
    return TRUE;  // the program destroys its windows itself
}

// The middle argument is the changed property, which is always "is-active".
void on_active_changed(GObject* widget, gpointer, gpointer) {
    auto* window = the_platform->window_of_widget(GTK_WIDGET(widget));
    if (window == nullptr || the_platform->sink() == nullptr) return;
    if (gtk_window_is_active(GTK_WINDOW(widget))) {
        if (!window->enabled) {
            // A disabled window cannot become active, as on Win32: a manager
            // that activated it anyway, at a click or a pager's request,
            // gets the open modal window back in front instead.
            the_platform->hand_on_activation(*window);
            return;
        }
        the_platform->sink()->activated(window->id);
    } else {
        the_platform->sink()->deactivated(window->id);
    }
}

gboolean on_map(GtkWidget* widget, GdkEvent*, gpointer) {
    // The frame may have come out other than announced, and a manager may
    // have pulled a window that hangs off the screen back onto it: put it
    // where it belongs once it is mapped. Only here, not on later moves,
    // so the user can still drag it.
    if (auto* window = the_platform->window_of_widget(widget)) {
        the_platform->fit_frame(*window);
        the_platform->place_frame(*window);
    }
    return FALSE;
}

gboolean on_property(GtkWidget* widget, GdkEventProperty* event, gpointer) {
    // The manager announces a new frame through _NET_FRAME_EXTENTS; moves
    // and drags leave it alone and cost nothing here.
    if (event->atom != gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) return FALSE;
    if (auto* window = the_platform->window_of_widget(widget)) the_platform->fit_frame(*window);
    return FALSE;
}

gboolean on_window_state(GtkWidget* widget, GdkEventWindowState* event, gpointer) {
    // Some managers offer to minimise any window, whatever its hints say.
    // A window without a minimise box comes straight back, in front and
    // active: a modal window has no taskbar entry to restore it from, and
    // its owner waits on it.
    // It is asked back at once, and made active once it is mapped again:
    // a manager that is still taking it down would ignore the activation.
    auto* window = the_platform->window_of_widget(widget);
    if (window == nullptr || window->can_minimise) return FALSE;
    const bool minimised = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    if (minimised) {
        window->coming_back = true;
        gtk_window_deiconify(GTK_WINDOW(widget));
    } else if (window->coming_back) {
        window->coming_back = false;
        the_platform->activate(window->id);
    }
    return FALSE;
}

// The signals of a control carry its handle, not a pointer to its record:
// a control destroyed meanwhile is then simply not found.
object* record_of(gpointer data) {
    return the_platform->find(static_cast<handle>(GPOINTER_TO_UINT(data)));
}

void on_clicked(GtkButton*, gpointer data) {
    auto* button = record_of(data);
    if (button != nullptr && the_platform->sink() != nullptr) {
        the_platform->sink()->clicked(button->id);
    }
}

// The web content process of a pane has died (crashed, killed, or out of
// memory). The view stays, empty; the next reload brings it back.
void on_engine_lost(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
    if (auto* pane = record_of(data)) pane->engine_lost = true;
}

// The view forgets an address whose load the dying process took with it;
// the pane keeps it, and follows the user's own navigation in the page.
// The middle argument is the changed property, which is always "uri".
void on_uri_changed(WebKitWebView* view, gpointer, gpointer data) {
    const gchar* uri = webkit_web_view_get_uri(view);
    auto* pane = record_of(data);
    if (pane != nullptr && uri != nullptr && *uri != '\0') pane->address = uri;
}

// A page waiting on its alert or confirm takes no load, and a claim page
// that alerts on every visit would end the claiming after one request. A
// new load answers the dialog as its close button does; one the user has
// answered already is only let go.
void close_script_dialog(object& pane) {
    if (pane.dialog == nullptr) return;
    webkit_script_dialog_close(pane.dialog);
    webkit_script_dialog_unref(pane.dialog);
    pane.dialog = nullptr;
}

// The engine shows the page's alerts and confirms itself; the pane only
// keeps hold of the open one, which would otherwise hold up every load.
gboolean on_script_dialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    if (auto* pane = record_of(data)) {
        if (pane->dialog != nullptr) webkit_script_dialog_unref(pane->dialog);
        pane->dialog = webkit_script_dialog_ref(dialog);
    }
    return FALSE;
}

// Most of the time from the first action to its request would go on the
// engine starting the pane's web content process, which it does on the
// first load. A view made related to the pane's has the engine start that
// process at once; the pane's first load then uses it. The helper view is
// dropped straight away: the pane keeps the process, loads nothing and
// shows nothing until an action gives it an address.
void start_web_process(WebKitWebView* pane_view) {
    GtkWidget* helper = webkit_web_view_new_with_related_view(pane_view);
    g_object_ref_sink(helper);
    gtk_widget_destroy(helper);
    g_object_unref(helper);
}

void on_timer(void* data) {
    auto* timer = record_of(data);
    if (timer != nullptr && the_platform->sink() != nullptr) the_platform->sink()->tick(timer->id);
}

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

constexpr const char* program_css =
    "entry.tarvello { min-height: 0; min-width: 0; padding: 0 2px; border-radius: 0;"
    " border-width: 1px; border-style: solid;"
    " border-color: #808080 #ffffff #ffffff #808080; box-shadow: none;"
    " background-color: #ffffff; background-image: none; color: #000000; }"
    "button.tarvello { min-height: 0; min-width: 0; padding: 0 2px; }"
    ".tarvello-pane { background-color: #ffffff; }";

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

std::optional<std::string> gtk_platform::prepare_engine() {
    // The engine's process and cookie store hang off the default context;
    // make it now so the first pane finds it ready. Cookies persist in the
    // engine's own store, as the system browser control keeps a user's
    // logins: the user logs in to the forum once, inside the pane.
    if (!display_open_) return std::nullopt;
    // A page that takes over the web content process must find itself shut
    // in, not in the user's home: the engine runs that process under
    // bubblewrap, in namespaces of its own, with no new privileges and a
    // system call filter. The cookie store is the network process's, which
    // stays outside, so logins still persist. Without a sandbox the program
    // loads nothing rather than load pages unconfined.
    if (auto failure = sandbox_failure()) {
        std::fprintf(stderr, "tarvello: the web engine's sandbox cannot be set up: %s\n",
                     failure->c_str());
        std::fflush(stderr);
        return "网页引擎的沙箱无法建立，为安全起见不打开任何网页。请安装 bubblewrap 和 "
               "xdg-dbus-proxy，并允许普通用户创建用户命名空间。（" +
               *failure + "）";
    }
    WebKitWebContext* context = webkit_web_context_get_default();
    webkit_web_context_set_sandbox_enabled(context, TRUE);
    gchar* folder = g_build_filename(g_get_user_data_dir(), "tarvello", nullptr);
    if (g_mkdir_with_parents(folder, 0700) == 0) {
        gchar* store = g_build_filename(folder, "cookies.sqlite", nullptr);
        WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(
            webkit_web_context_get_website_data_manager(context));
        webkit_cookie_manager_set_persistent_storage(cookies, store,
                                                     WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
        g_free(store);
    }
    g_free(folder);
    return std::nullopt;
}

void gtk_platform::release_engine() {}

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

std::unique_ptr<object> gtk_platform::new_object() {
    auto made = std::make_unique<object>();
    made->id = next_handle_++;  // never reused, even when the creation fails
    return made;
}

handle gtk_platform::add(std::unique_ptr<object> made) {
    const handle id = made->id;
    if (made->is_window) g_object_set_data(G_OBJECT(made->widget), object_key, made.get());
    objects_[id] = std::move(made);
    return id;
}

object* gtk_platform::find(handle id) {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : o->second.get();
}

const object* gtk_platform::find(handle id) const {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : o->second.get();
}

object* gtk_platform::window_of_widget(GtkWidget* toplevel) {
    // Every input event asks this: the toplevel carries its record.
    return static_cast<object*>(g_object_get_data(G_OBJECT(toplevel), object_key));
}

handle gtk_platform::control_of_widget(const object& window, GtkWidget* widget) const {
    if (widget == nullptr) return no_handle;
    for (const auto& [id, o] : objects_) {
        if (o->is_window || o->parent != window.id || o->widget == nullptr) continue;
        if (widget == o->widget || gtk_widget_is_ancestor(widget, o->widget)) return id;
    }
    return no_handle;
}

void gtk_platform::set_icon(GtkWindow* window) {
    const auto png = resources::icon_png();
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (loader == nullptr) return;
    gdk_pixbuf_loader_write(loader, png.data(), png.size(), nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* large = gdk_pixbuf_loader_get_pixbuf(loader);
    if (large != nullptr) {
        GdkPixbuf* small = gdk_pixbuf_scale_simple(large, 16, 16, GDK_INTERP_BILINEAR);
        GList* icons = g_list_append(nullptr, large);
        icons = g_list_append(icons, small);
        gtk_window_set_icon_list(window, icons);
        g_list_free(icons);
        g_object_unref(small);
    }
    g_object_unref(loader);
}

handle gtk_platform::create_window(const window_settings& settings) {
    if (!display_open_) return no_handle;
    auto made = new_object();
    made->is_window = true;
    made->kind_of_window = settings.kind;
    made->wanted = settings.outer;
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (widget == nullptr) return no_handle;
    made->widget = widget;
    GtkWindow* window = GTK_WINDOW(widget);
    gtk_window_set_title(window, settings.caption.c_str());
    if (settings.kind == window_kind::hidden_owner) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
        gtk_widget_realize(widget);  // an owner needs an X window, never mapped
        join_group(window, window);
        hidden_window_ = add(std::move(made));
        return hidden_window_;
    }
    if (settings.with_icon) set_icon(window);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_gravity(window, GDK_GRAVITY_NORTH_WEST);
    if (settings.kind == window_kind::modal) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
    }
    made->client = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(widget), made->client);
    gtk_widget_realize(widget);
    if (auto* leader = find(hidden_window_)) join_group(window, GTK_WINDOW(leader->widget));
    if (settings.kind == window_kind::modal) {
        // Owned by the hidden window means owned by the group it leads.
        if (auto* owner = find(settings.owner); owner != nullptr && owner->is_window) {
            if (owner->id == hidden_window_) {
                own_by_group(window);
            } else {
                gtk_window_set_transient_for(window, GTK_WINDOW(owner->widget));
            }
        }
    }
    GdkWindow* gdk_window = gtk_widget_get_window(widget);
    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
    int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    made->can_minimise = settings.minimise_box;
    if (settings.minimise_box) {
        decorations |= GDK_DECOR_MINIMIZE;
        functions |= GDK_FUNC_MINIMIZE;
    }
    if (settings.maximise_box) {
        decorations |= GDK_DECOR_MAXIMIZE;
        functions |= GDK_FUNC_MAXIMIZE;
    }
    gdk_window_set_decorations(gdk_window, static_cast<GdkWMDecoration>(decorations));
    gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));
    object& ref = *made;
    const handle id = add(std::move(made));
    connect_window_signals(ref);
    const extents frame = request_frame_extents(window);
    gtk_widget_set_size_request(ref.client, settings.outer.width - frame.left - frame.right,
                                settings.outer.height - frame.top - frame.bottom);
    // A place the program asks for is, to the manager, the user's own: some
    // managers otherwise keep windows from hanging off the screen.
    GdkGeometry unused{};
    gtk_window_set_geometry_hints(window, nullptr, &unused, GDK_HINT_USER_POS);
    gtk_window_move(window, settings.outer.left, settings.outer.top);
    return id;
}

void gtk_platform::connect_window_signals(object& window) {
    g_signal_connect(window.widget, "key-press-event", G_CALLBACK(on_key_press), nullptr);
    g_signal_connect(window.widget, "focus", G_CALLBACK(on_focus), nullptr);
    g_signal_connect(window.widget, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(window.widget, "notify::is-active", G_CALLBACK(on_active_changed), nullptr);
    g_signal_connect(window.widget, "map-event", G_CALLBACK(on_map), nullptr);
    g_signal_connect(window.widget, "window-state-event", G_CALLBACK(on_window_state), nullptr);
    gtk_widget_add_events(window.widget, GDK_PROPERTY_CHANGE_MASK);
    g_signal_connect(window.widget, "property-notify-event", G_CALLBACK(on_property), nullptr);
}

void gtk_platform::place_frame(object& window) {
    GdkWindow* gdk_window = gtk_widget_get_window(window.widget);
    if (gdk_window == nullptr) return;
    GdkRectangle frame;
    gdk_window_get_frame_extents(gdk_window, &frame);
    if (frame.x != window.wanted.left || frame.y != window.wanted.top) {
        gtk_window_move(GTK_WINDOW(window.widget), window.wanted.left, window.wanted.top);
    }
}

void gtk_platform::fit_frame(object& window) {
    GtkWindow* gtk_window = GTK_WINDOW(window.widget);
    if (!gtk_widget_get_mapped(window.widget)) return;
    const extents frame = current_frame_extents(gtk_window);
    const int width = window.wanted.width - frame.left - frame.right;
    const int height = window.wanted.height - frame.top - frame.bottom;
    int now_width = 0;
    int now_height = 0;
    gtk_widget_get_size_request(window.client, &now_width, &now_height);
    if (now_width == width && now_height == height) return;
    gtk_widget_set_size_request(window.client, width, height);
    gtk_window_move(gtk_window, window.wanted.left, window.wanted.top);
}

GtkWidget* gtk_platform::make_label(object& made, const control_settings& settings) {
    made.text = settings.text;
    made.label = settings.label;
    GtkWidget* area = new_label_widget(settings.text);
    g_signal_connect(area, "draw", G_CALLBACK(draw_label), &made);
    return area;
}

GtkWidget* gtk_platform::make_edit_box(object& made) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
    gtk_entry_set_has_frame(GTK_ENTRY(entry), TRUE);
    gtk_style_context_add_class(gtk_widget_get_style_context(entry), "tarvello");
    made.focus_target = entry;
    // A one-line box is never lower than a line of its font and its edges.
    PangoContext* context = gtk_widget_get_pango_context(entry);
    PangoFontMetrics* metrics =
        pango_context_get_metrics(context, pango_context_get_font_description(context), nullptr);
    const int line = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics) +
                                       pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    constexpr int edge = 1;  // the sunken edge this backend draws, top and bottom
    if (made.wanted.height < line + 2 * edge) made.wanted.height = line + 2 * edge;
    return entry;
}

namespace {

// What accessibility tools see of a control: the widget that takes the
// focus, which is what a screen reader announces.
AtkObject* accessible_of(const object& control) {
    GtkWidget* widget = control.focus_target != nullptr ? control.focus_target : control.widget;
    return widget == nullptr ? nullptr : gtk_widget_get_accessible(widget);
}

}  // namespace

void gtk_platform::set_labelled_by(handle control, handle label) {
    const auto* named = find(control);
    const auto* naming = find(label);
    if (named == nullptr || naming == nullptr || naming->kind != control_kind::label) return;
    AtkObject* control_side = accessible_of(*named);
    AtkObject* label_side = accessible_of(*naming);
    if (control_side == nullptr || label_side == nullptr) return;
    atk_object_add_relationship(control_side, ATK_RELATION_LABELLED_BY, label_side);
    atk_object_add_relationship(label_side, ATK_RELATION_LABEL_FOR, control_side);
    // A tool that does not follow the relation still hears the label's
    // text, as the box after a static label is named on Windows.
    const gchar* own = atk_object_get_name(control_side);
    if (own == nullptr || *own == '\0') atk_object_set_name(control_side, naming->text.c_str());
}

GtkWidget* gtk_platform::make_button(object& made, const control_settings& settings) {
    GtkWidget* button = gtk_button_new_with_label(settings.text.c_str());
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "tarvello");
    if (GtkWidget* text = gtk_bin_get_child(GTK_BIN(button)); GTK_IS_LABEL(text)) {
        gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
        gtk_label_set_justify(GTK_LABEL(text), GTK_JUSTIFY_CENTER);
    }
    g_signal_connect(button, "clicked", G_CALLBACK(on_clicked), GUINT_TO_POINTER(made.id));
    made.focus_target = button;
    return button;
}

GtkWidget* gtk_platform::make_browser_pane(object& made) {
    GtkWidget* area = gtk_event_box_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(area), "tarvello-pane");
    GtkWidget* view = webkit_web_view_new();
    if (view == nullptr) {
        gtk_widget_destroy(area);
        return nullptr;
    }
    made.view = WEBKIT_WEB_VIEW(view);
    webkit_web_view_set_zoom_level(made.view, 1.0);  // the middle text size
    WebKitSettings* settings = webkit_web_view_get_settings(made.view);
    // Xvfb and most remote displays have no GPU; software drawing always works.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(on_engine_lost),
                     GUINT_TO_POINTER(made.id));
    g_signal_connect(view, "notify::uri", G_CALLBACK(on_uri_changed), GUINT_TO_POINTER(made.id));
    g_signal_connect(view, "script-dialog", G_CALLBACK(on_script_dialog),
                     GUINT_TO_POINTER(made.id));
    start_web_process(made.view);
    gtk_widget_set_hexpand(view, TRUE);
    gtk_widget_set_vexpand(view, TRUE);
    gtk_container_add(GTK_CONTAINER(area), view);
    gtk_widget_set_can_focus(view, TRUE);
    made.focus_target = view;
    return area;
}

handle gtk_platform::create_control(handle window, const control_settings& settings) {
    auto* parent = find(window);
    if (parent == nullptr || !parent->is_window || parent->client == nullptr) return no_handle;
    auto made = new_object();
    made->kind = settings.kind;
    made->parent = window;
    made->wanted = settings.place;
    GtkWidget* widget = nullptr;
    switch (settings.kind) {
        case control_kind::timer:
            return add(std::move(made));  // no widget: only a tick source once started
        case control_kind::label:
            widget = make_label(*made, settings);
            break;
        case control_kind::edit_box:
            widget = make_edit_box(*made);
            break;
        case control_kind::push_button:
            widget = make_button(*made, settings);
            break;
        case control_kind::browser_pane:
            widget = make_browser_pane(*made);
            break;
    }
    if (widget == nullptr) return no_handle;
    gtk_widget_set_name(widget, settings.name.c_str());
    if (made->focus_target == nullptr) gtk_widget_set_can_focus(widget, FALSE);
    gtk_widget_set_size_request(widget, made->wanted.width, made->wanted.height);
    gtk_fixed_put(GTK_FIXED(parent->client), widget, made->wanted.left, made->wanted.top);
    made->widget = widget;
    if (!settings.accessible_name.empty()) {
        atk_object_set_name(accessible_of(*made), settings.accessible_name.c_str());
    }
    return add(std::move(made));
}

void gtk_platform::stack_controls(handle window, std::span<const handle> top_to_bottom) {
    auto* parent = find(window);
    if (parent == nullptr || parent->client == nullptr) return;
    // GtkFixed draws its children in the order they were put, the last on
    // top: put them again from the bottom up.
    GtkFixed* fixed = GTK_FIXED(parent->client);
    for (auto c = top_to_bottom.rbegin(); c != top_to_bottom.rend(); ++c) {
        auto* control = find(*c);
        if (control == nullptr || control->widget == nullptr) continue;
        g_object_ref(control->widget);
        gtk_container_remove(GTK_CONTAINER(fixed), control->widget);
        gtk_fixed_put(fixed, control->widget, control->wanted.left, control->wanted.top);
        g_object_unref(control->widget);
    }
}

void gtk_platform::show(handle id) {
    auto* o = find(id);
    if (o == nullptr || o->widget == nullptr) return;
    if (o->is_window) {
        gtk_widget_show(o->client);
    }
    if (o->kind == control_kind::browser_pane && o->view != nullptr) {
        gtk_widget_show(GTK_WIDGET(o->view));
    }
    gtk_widget_show(o->widget);
}

void gtk_platform::activate(handle window) {
    auto* o = find(window);
    if (o == nullptr || !o->is_window) return;
    GdkWindow* gdk_window = gtk_widget_get_window(o->widget);
    const guint32 now =
        gdk_window != nullptr ? gdk_x11_get_server_time(gdk_window) : GDK_CURRENT_TIME;
    gtk_window_present_with_time(GTK_WINDOW(o->widget), now);
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

void gtk_platform::hand_on_activation(const object& refused) {
    for (const auto& [id, o] : objects_) {
        if (o->is_window && o->kind_of_window == window_kind::modal && o->enabled &&
            o.get() != &refused && gtk_widget_get_visible(o->widget)) {
            activate(id);
            return;
        }
    }
}

void gtk_platform::drop_controls_of(handle window) {
    for (auto o = objects_.begin(); o != objects_.end();) {
        if (!o->second->is_window && o->second->parent == window) {
            stop_tick_source(o->second->timer);
            close_script_dialog(*o->second);
            o = objects_.erase(o);
        } else {
            ++o;
        }
    }
}

void gtk_platform::destroy(handle window) {
    auto* o = find(window);
    if (o == nullptr || !o->is_window) return;
    GtkWidget* widget = o->widget;
    // Signals that come while GTK takes the window down find no record.
    g_object_set_data(G_OBJECT(widget), object_key, nullptr);
    drop_controls_of(window);
    objects_.erase(window);
    gtk_widget_destroy(widget);
    if (sink_ != nullptr) sink_->destroyed(window);
}

bool gtk_platform::exists(handle id) const {
    return find(id) != nullptr;
}

void gtk_platform::set_enabled(handle id, bool enabled) {
    if (auto* o = find(id)) o->enabled = enabled;
}

bool gtk_platform::is_enabled(handle id) const {
    const auto* o = find(id);
    return o != nullptr && o->enabled;
}

bool gtk_platform::is_visible(handle id) const {
    const auto* o = find(id);
    if (o == nullptr || o->widget == nullptr) return false;
    return gtk_widget_get_visible(o->widget) == TRUE;
}

void gtk_platform::set_focus(handle control) {
    auto* o = find(control);
    if (o == nullptr || o->focus_target == nullptr) return;
    gtk_widget_grab_focus(o->focus_target);
}

handle gtk_platform::focused_control(handle window) const {
    const auto* o = find(window);
    if (o == nullptr || !o->is_window) return no_handle;
    return control_of_widget(*o, gtk_window_get_focus(GTK_WINDOW(o->widget)));
}

rect gtk_platform::geometry(handle id) const {
    const auto* o = find(id);
    if (o == nullptr) return {};
    if (o->is_window) {
        GdkWindow* gdk_window = gtk_widget_get_window(o->widget);
        if (gdk_window == nullptr) return {};
        GdkRectangle frame;
        gdk_window_get_frame_extents(gdk_window, &frame);
        return {frame.x, frame.y, frame.width, frame.height};
    }
    if (o->widget == nullptr) return {};
    const auto* parent = find(o->parent);
    GtkAllocation area;
    gtk_widget_get_allocation(o->widget, &area);
    int x = area.x;
    int y = area.y;
    if (parent != nullptr) {
        gtk_widget_translate_coordinates(o->widget, parent->client, 0, 0, &x, &y);
    }
    return {x, y, area.width, area.height};
}

std::optional<std::string> gtk_platform::text(handle edit_box) const {
    const auto* o = find(edit_box);
    if (o == nullptr || o->kind != control_kind::edit_box || o->widget == nullptr) return {};
    const char* held = gtk_entry_get_text(GTK_ENTRY(o->widget));
    if (held == nullptr || *held == '\0') return std::nullopt;
    return std::string(held);
}

namespace {

// The system browser control loads an address without a scheme as http;
// WebKit would refuse it, or read "host:8080/x" as the scheme "host".
std::string engine_address(const std::string& address) {
    if (address.find("://") != std::string::npos) return address;
    for (const char* scheme : {"about:", "data:", "javascript:", "file:", "mailto:"}) {
        if (g_ascii_strncasecmp(address.c_str(), scheme, std::strlen(scheme)) == 0) return address;
    }
    return "http://" + address;
}

}  // namespace

void gtk_platform::navigate(handle pane, const std::string& address) {
    auto* o = find(pane);
    if (o == nullptr || o->view == nullptr) return;
    close_script_dialog(*o);
    o->engine_lost = false;  // a load starts a fresh web content process
    o->address = engine_address(address);
    webkit_web_view_load_uri(o->view, o->address.c_str());
}

void gtk_platform::reload(handle pane) {
    auto* o = find(pane);
    if (o == nullptr || o->view == nullptr) return;
    close_script_dialog(*o);
    // WebKit's reload drops a load still under way and reloads the page
    // committed before it: a forum slower than the period would never get
    // the new address. Ask again for the address being loaded instead.
    // A pane whose web content process died may have no page to reload:
    // load its address again, which starts a fresh process.
    if (o->engine_lost || webkit_web_view_is_loading(o->view)) {
        o->engine_lost = false;
        if (o->address.empty()) return;
        const std::string again = o->address;  // the load may change it
        webkit_web_view_load_uri(o->view, again.c_str());
        return;
    }
    webkit_web_view_reload(o->view);
}

void gtk_platform::start_timer(handle timer, int period_ms) {
    auto* o = find(timer);
    if (o == nullptr || o->kind != control_kind::timer || period_ms <= 0) return;
    stop_tick_source(o->timer);
    o->timer = start_tick_source(period_ms, on_timer, GUINT_TO_POINTER(timer));
    o->period_ms = period_ms;
}

void gtk_platform::stop_timer(handle timer) {
    auto* o = find(timer);
    if (o == nullptr) return;
    stop_tick_source(o->timer);
    o->timer = nullptr;
    o->period_ms = 0;
}

int gtk_platform::timer_period(handle timer) const {
    const auto* o = find(timer);
    return o == nullptr ? 0 : o->period_ms;
}

void gtk_platform::error_box(const std::string& caption, const std::string& text) {
    if (!display_open_) {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
        return;
    }
    // Not modal: the program's other windows stay enabled and keep
    // repainting; the hold-back already keeps their events from the actions.
    GtkWidget* box = gtk_message_dialog_new(nullptr, GtkDialogFlags(0), GTK_MESSAGE_ERROR,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    bool answered = false;
    g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer done) {
                         *static_cast<bool*>(done) = true;
                     }),
                     &answered);
    gtk_widget_show_all(box);
    gtk_window_present(GTK_WINDOW(box));
    while (!answered) g_main_context_iteration(nullptr, TRUE);
    gtk_widget_destroy(box);
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
