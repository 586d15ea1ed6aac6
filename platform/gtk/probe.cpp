// The GTK side of the GUI tests' probe.
#include "platform/gtk/probe.h"

#include <gdk/gdkx.h>

#include <string>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::probe {

namespace {

std::string key_name(key which) {
    switch (which) {
        case key::tab:
            return "Tab";
        case key::escape:
            return "Escape";
        case key::enter:
            return "Return";
        case key::f1:
            return "F1";
        case key::space:
            return "space";
        case key::letter_or_digit:
            return "a";
        default:
            return "F12";
    }
}

}  // namespace

bool pump_until(const std::function<bool()>& done, int timeout_ms) {
    const gint64 deadline = g_get_monotonic_time() + gint64{timeout_ms} * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > deadline) return false;
        // Never block for long, so the deadline is kept.
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

void send_key(key which, modifiers mods) {
    // Through xdotool and XTest, so the key comes from the X server to
    // whichever window has the input focus, as a typed key would.
    std::string combo;
    if (mods.ctrl) combo += "ctrl+";
    if (mods.alt) combo += "alt+";
    if (mods.shift) combo += "shift+";
    combo += key_name(which);
    const gchar* argv[] = {"xdotool", "key", "--clearmodifiers", combo.c_str(), nullptr};
    g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr);
}

namespace {

// The pixels of an area of a window's client area, or none.
GdkPixbuf* grab(handle window, rect area) {
    auto* o = gtk::current_backend()->find(window);
    if (o == nullptr) return nullptr;
    return gdk_pixbuf_get_from_window(gtk_widget_get_window(o->widget), area.left, area.top,
                                      area.width, area.height);
}

}  // namespace

colour pixel_at(handle window, int x, int y) {
    GdkPixbuf* shot = grab(window, {x, y, 1, 1});
    if (shot == nullptr) return {};
    const guchar* p = gdk_pixbuf_read_pixels(shot);
    colour c{p[0], p[1], p[2]};
    g_object_unref(shot);
    return c;
}

std::vector<bool> dark_rows(handle window, rect area) {
    std::vector<bool> rows(static_cast<std::size_t>(area.height), false);
    GdkPixbuf* shot = grab(window, area);
    if (shot == nullptr) return rows;
    const guchar* pixels = gdk_pixbuf_read_pixels(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const int step = gdk_pixbuf_get_n_channels(shot);
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width && !rows[static_cast<std::size_t>(y)]; ++x) {
            const guchar* p = pixels + y * stride + x * step;
            if (p[0] < 96 && p[1] < 96 && p[2] < 96) rows[static_cast<std::size_t>(y)] = true;
        }
    }
    g_object_unref(shot);
    return rows;
}

bool window_settled(handle window) {
    auto* o = gtk::current_backend()->find(window);
    if (o == nullptr || !gtk_widget_get_mapped(o->widget)) return false;
    if (!gtk_window_is_active(GTK_WINDOW(o->widget))) return false;
    const rect outer = gtk::current_backend()->geometry(window);
    if (!(outer == o->wanted)) return false;
    // The controls are placed in the layout phase after the window's own
    // configure: wait until the client area has its allocation.
    int width = 0;
    int height = 0;
    gtk_widget_get_size_request(o->client, &width, &height);
    return gtk_widget_get_allocated_width(o->client) == width &&
           gtk_widget_get_allocated_height(o->client) == height;
}

}  // namespace tarvello::platform::probe
