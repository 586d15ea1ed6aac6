// The GTK backend's browser pane over WebKitGTK: the engine made ready
// before the first pane (sandbox, cookie store), the pane itself, and the
// rules by which it navigates and reloads so that the claims keep coming
// through slow forums, dead web processes and pages that alert.
#include <cstdio>
#include <cstring>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

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

namespace {

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

}  // namespace

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

namespace {

// The engine shows the page's alerts and confirms itself; the pane only
// keeps hold of the open one, which would otherwise hold up every load.
gboolean on_script_dialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    if (auto* pane = record_of(data)) {
        if (pane->dialog != nullptr) webkit_script_dialog_unref(pane->dialog);
        pane->dialog = webkit_script_dialog_ref(dialog);
    }
    return FALSE;
}

}  // namespace

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
    gtk_widget_set_hexpand(view, TRUE);
    gtk_widget_set_vexpand(view, TRUE);
    gtk_container_add(GTK_CONTAINER(area), view);
    gtk_widget_set_can_focus(view, TRUE);
    made.focus_target = view;
    return area;
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

}  // namespace tarvello::platform::gtk
