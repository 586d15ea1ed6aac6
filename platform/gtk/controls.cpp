// The GTK backend's child controls: labels, edit boxes and push buttons,
// made at their places and stacked as the layout says, what accessibility
// tools learn of them, the keyboard focus and the boxes' texts.
#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

// The signals of a control carry its handle, not a pointer to its record:
// a control destroyed meanwhile is then simply not found.
object* record_of(gpointer data) {
    return current_backend()->find(static_cast<handle>(GPOINTER_TO_UINT(data)));
}

namespace {

void on_clicked(GtkButton*, gpointer data) {
    auto* button = record_of(data);
    if (button != nullptr && current_backend()->sink() != nullptr) {
        current_backend()->sink()->clicked(button->id);
    }
}

}  // namespace

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

std::optional<std::string> gtk_platform::text(handle edit_box) const {
    const auto* o = find(edit_box);
    if (o == nullptr || o->kind != control_kind::edit_box || o->widget == nullptr) return {};
    const char* held = gtk_entry_get_text(GTK_ENTRY(o->widget));
    if (held == nullptr || *held == '\0') return std::nullopt;
    return std::string(held);
}

}  // namespace tarvello::platform::gtk
