// The GTK backend's modal error box: no owner, the error icon and one OK
// button; without a display the text goes to standard error instead.
#include <cstdio>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

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

}  // namespace tarvello::platform::gtk
