// The GTK backend's top-level windows: the records behind the handles,
// creation with the frame, icon and ownership the program asks for, what the
// window manager reports (close, activation, mapping, frame, minimising),
// showing, activating, enabling and destroying.
#include <gdk/gdkx.h>

#include "platform/gtk/gtk_platform.h"
#include "resources/icon.h"

namespace tarvello::platform::gtk {

namespace {

// Where a toplevel widget keeps a pointer to its record.
constexpr const char* object_key = "tarvello-object";

gboolean on_delete(GtkWidget* widget, GdkEvent*, gpointer) {
    auto* window = current_backend()->window_of_widget(widget);
    // A disabled window refuses the manager's close, as it refuses input.
    if (window != nullptr && window->enabled && current_backend()->sink() != nullptr) {
        current_backend()->sink()->close_requested(window->id);
    }
    return TRUE;  // the program destroys its windows itself
}

// The middle argument is the changed property, which is always "is-active".
void on_active_changed(GObject* widget, gpointer, gpointer) {
    auto* window = current_backend()->window_of_widget(GTK_WIDGET(widget));
    if (window == nullptr || current_backend()->sink() == nullptr) return;
    if (gtk_window_is_active(GTK_WINDOW(widget))) {
        if (!window->enabled) {
            // A disabled window cannot become active, as on Win32: a manager
            // that activated it anyway, at a click or a pager's request,
            // gets the open modal window back in front instead.
            current_backend()->hand_on_activation(*window);
            return;
        }
        current_backend()->sink()->activated(window->id);
    } else {
        current_backend()->sink()->deactivated(window->id);
    }
}

gboolean on_window_state(GtkWidget* widget, GdkEventWindowState* event, gpointer) {
    // Some managers offer to minimise any window, whatever its hints say.
    // A window without a minimise box comes straight back, in front and
    // active: a modal window has no taskbar entry to restore it from, and
    // its owner waits on it.
    // It is asked back at once, and made active once it is mapped again:
    // a manager that is still taking it down would ignore the activation.
    auto* window = current_backend()->window_of_widget(widget);
    if (window == nullptr || window->can_minimise) return FALSE;
    const bool minimised = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    if (minimised) {
        window->coming_back = true;
        gtk_window_deiconify(GTK_WINDOW(widget));
    } else if (window->coming_back) {
        window->coming_back = false;
        current_backend()->activate(window->id);
    }
    return FALSE;
}

}  // namespace

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

}  // namespace tarvello::platform::gtk
