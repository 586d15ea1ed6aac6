// What the X11 window manager is told and asked about a toplevel: its frame,
// read from _NET_FRAME_EXTENTS, and whom it belongs to.
// The layout gives outer sizes, frame included, so the client area is sized
// from these extents. Before the window is mapped the manager is asked for
// them with _NET_REQUEST_FRAME_EXTENTS, so the window is the right size from
// the moment it appears.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

namespace {

bool read_extents(Display* display, Window xid, extents& out) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom name = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    gdk_x11_display_error_trap_push(gdk_x11_lookup_xdisplay(display));
    const int status = XGetWindowProperty(display, xid, name, 0, 4, False, XA_CARDINAL, &type,
                                          &format, &count, &after, &data);
    gdk_x11_display_error_trap_pop_ignored(gdk_x11_lookup_xdisplay(display));
    const bool found = status == Success && type == XA_CARDINAL && format == 32 && count == 4;
    if (found) {
        const auto* v = reinterpret_cast<const long*>(data);
        out = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
               static_cast<int>(v[3])};
    }
    if (data != nullptr) XFree(data);
    return found;
}

void send_request(Display* display, Window xid) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    event.xclient.format = 32;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

}  // namespace

extents current_frame_extents(GtkWindow* window) {
    extents found;
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return found;
    read_extents(GDK_WINDOW_XDISPLAY(gdk_window), GDK_WINDOW_XID(gdk_window), found);
    return found;
}

extents request_frame_extents(GtkWindow* window) {
    extents found;
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return found;
    GdkScreen* screen = gdk_window_get_screen(gdk_window);
    if (!gdk_x11_screen_supports_net_wm_hint(
            screen, gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS"))) {
        return found;
    }
    Display* display = GDK_WINDOW_XDISPLAY(gdk_window);
    const Window xid = GDK_WINDOW_XID(gdk_window);
    send_request(display, xid);
    // The manager answers by setting the property; wait a bounded time for
    // it, so a manager that never answers costs at most half a second.
    const gint64 deadline = g_get_monotonic_time() + 500 * 1000;
    while (!read_extents(display, xid, found)) {
        if (g_get_monotonic_time() > deadline) return {};
        XSync(display, False);
        g_usleep(2000);
    }
    return found;
}

void join_group(GtkWindow* window, GtkWindow* leader) {
    GdkWindow* member = gtk_widget_get_window(GTK_WIDGET(window));
    GdkWindow* head = gtk_widget_get_window(GTK_WIDGET(leader));
    if (member == nullptr || head == nullptr) return;
    gdk_window_set_group(member, head);
}

void own_by_group(GtkWindow* window) {
    // An owner that is never mapped is no window to the manager, and a
    // window transient for it would stand on its own: the main window would
    // come up over it at a click. Transient for the root window is, by long
    // practice that managers honour, transient for the whole group: the
    // manager keeps it above every window of the program and, as it is
    // modal, hands it the focus when one of them is clicked.
    GdkWindow* gdk_window = gtk_widget_get_window(GTK_WIDGET(window));
    if (gdk_window == nullptr || !GDK_IS_X11_WINDOW(gdk_window)) return;
    Display* display = GDK_WINDOW_XDISPLAY(gdk_window);
    XSetTransientForHint(display, GDK_WINDOW_XID(gdk_window), DefaultRootWindow(display));
    gdk_window_set_modal_hint(gdk_window, TRUE);
}

gboolean on_map(GtkWidget* widget, GdkEvent*, gpointer) {
    // The frame may have come out other than announced, and a manager may
    // have pulled a window that hangs off the screen back onto it: put it
    // where it belongs once it is mapped. Only here, not on later moves,
    // so the user can still drag it.
    if (auto* window = current_backend()->window_of_widget(widget)) {
        current_backend()->fit_frame(*window);
        current_backend()->place_frame(*window);
    }
    return FALSE;
}

gboolean on_property(GtkWidget* widget, GdkEventProperty* event, gpointer) {
    // The manager announces a new frame through _NET_FRAME_EXTENTS; moves
    // and drags leave it alone and cost nothing here.
    if (event->atom != gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) return FALSE;
    if (auto* window = current_backend()->window_of_widget(widget))
        current_backend()->fit_frame(*window);
    return FALSE;
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

}  // namespace tarvello::platform::gtk
