// Whether the web engine's sandbox can be set up on this machine. The engine
// runs its web content processes inside bubblewrap, with a D-Bus proxy beside
// them; when either cannot start, the engine ends the whole program with an
// abort and a one-line log, the first time a page is loaded. Asked up front,
// the program can say why instead, before any window opens.
#include <glib.h>

#include <string>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

namespace {

// The engine runs these two by these absolute paths, whatever PATH says.
constexpr const char* bubblewrap = "/usr/bin/bwrap";
constexpr const char* dbus_proxy = "/usr/bin/xdg-dbus-proxy";

// The first line of what the tool said, without its trailing blanks.
std::string first_line(const gchar* said) {
    std::string line = said != nullptr ? said : "";
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && g_ascii_isspace(line.back())) line.pop_back();
    return line;
}

}  // namespace

std::optional<std::string> sandbox_failure() {
    // The same kinds of namespace the engine asks for (user, when it can be
    // had, and mount, pid, network, ipc, uts), running the proxy inside.
    const gchar* argv[] = {
        bubblewrap, "--unshare-all", "--die-with-parent", "--new-session", "--ro-bind", "/", "/",
        "--",       dbus_proxy,      "--version",         nullptr};
    gchar* said = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const bool ran =
        g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL,
                     nullptr, nullptr, nullptr, &said, &status, &error) != FALSE;
    std::optional<std::string> failure;
    if (!ran) {
        failure = std::string(bubblewrap) + ": " + error->message;
        g_error_free(error);
    } else if (!g_spawn_check_wait_status(status, nullptr)) {
        const std::string line = first_line(said);
        failure = line.empty() ? std::string(bubblewrap) + " " + dbus_proxy + " failed" : line;
    }
    g_free(said);
    return failure;
}

}  // namespace tarvello::platform::gtk
