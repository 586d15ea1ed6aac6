// The naive reloader that bench/rhythm.py compares Tarvello's claim rhythm
// against: one window with one web view that loads the address given on the
// command line and reloads it from a g_timeout_add(2000) callback. That is
// the obvious way to write the refresh, and it drifts: GLib re-arms such a
// timeout from the moment it was dispatched, so every tick's dispatch
// latency is added to all later ticks.
//
// A stand-alone comparison program, not part of Tarvello: it is the one file
// outside platform/ that uses GTK directly, so that it shares none of the
// program's code and measures only the naive timer.
//
// Usage: naive_reloader URL [RELOADS]
// Prints "loading <CLOCK_MONOTONIC seconds>" when it starts the first load and
// the timer, and ends with status 0 once the load begun by reload RELOADS has
// finished (never, when RELOADS is 0 or absent), on SIGTERM or SIGINT, or when
// its window is closed. Status 1 if that last load never finishes.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr guint period_ms = 2000;
// How long the last load may take before the reloader gives up on it.
constexpr guint last_load_timeout_ms = 10000;

struct reloader {
    WebKitWebView* view = nullptr;
    const char* address = nullptr;
    long reloads_wanted = 0;  // 0: reload until stopped
    long reloads_done = 0;
    bool started = false;
    bool last_reload_sent = false;
    bool last_load_started = false;
    int status = 0;
};

gboolean on_tick(gpointer data) {
    auto* self = static_cast<reloader*>(data);
    webkit_web_view_reload(self->view);
    ++self->reloads_done;
    if (self->reloads_wanted > 0 && self->reloads_done >= self->reloads_wanted) {
        self->last_reload_sent = true;
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

gboolean on_last_load_timeout(gpointer data) {
    auto* self = static_cast<reloader*>(data);
    std::fprintf(stderr, "naive_reloader: the last load did not finish\n");
    self->status = 1;
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<reloader*>(data);
    if (!self->last_reload_sent) return;
    // A load still under way when the last reload came ends first; only the
    // load that reload starts counts.
    if (event == WEBKIT_LOAD_STARTED && !self->last_load_started) {
        self->last_load_started = true;
        g_timeout_add(last_load_timeout_ms, on_last_load_timeout, self);
    } else if (event == WEBKIT_LOAD_FINISHED && self->last_load_started) {
        gtk_main_quit();
    }
}

// The first load and the timer start once the window is on the screen, as
// in Tarvello, where the user clicks in a window already shown.
gboolean on_mapped(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<reloader*>(data);
    if (self->started) return FALSE;
    self->started = true;
    std::printf("loading %.6f\n", static_cast<double>(g_get_monotonic_time()) / 1e6);
    std::fflush(stdout);
    webkit_web_view_load_uri(self->view, self->address);
    g_timeout_add(period_ms, on_tick, self);
    return FALSE;
}

gboolean on_stop_signal(gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

bool parse_count(const char* text, long& count) {
    char* end = nullptr;
    errno = 0;
    count = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && count >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    reloader self;
    if (argc < 2 || argc > 3 || (argc == 3 && !parse_count(argv[2], self.reloads_wanted))) {
        std::fprintf(stderr, "usage: %s URL [RELOADS]\n", argv[0]);
        return 2;
    }
    self.address = argv[1];
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "naive_reloader: cannot open the display\n");
        return 1;
    }
    g_unix_signal_add(SIGTERM, on_stop_signal, nullptr);
    g_unix_signal_add(SIGINT, on_stop_signal, nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "naive reloader");
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    GtkWidget* view = webkit_web_view_new();
    self.view = WEBKIT_WEB_VIEW(view);
    // As in Tarvello: Xvfb has no GPU, and the two should draw the same way.
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(self.view),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(view, "load-changed", G_CALLBACK(on_load_changed), &self);
    g_signal_connect(window, "map-event", G_CALLBACK(on_mapped), &self);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);

    gtk_main();
    return self.status;
}
