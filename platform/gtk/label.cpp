// Labels that draw themselves: fill with the dialog-face colour, then the
// text in its colour without painting behind the glyphs, aligned, wrapped
// or kept to one line, and clipped to the label; a wrapped text that would
// run past the bottom is set tighter and smaller until it fits. Drawn by
// hand, a label tells accessibility tools itself what it is and says.
#include <gtk/gtk-a11y.h>

#include <algorithm>

#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

namespace {

// Where a label widget keeps its text for accessibility tools.
constexpr const char* text_key = "tarvello-label-text";

const gchar* label_text(AtkObject* accessible) {
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
    if (widget == nullptr) return nullptr;  // the label is gone
    return static_cast<const gchar*>(g_object_get_data(G_OBJECT(widget), text_key));
}

gint character_count(const gchar* text) {
    return text == nullptr ? 0 : static_cast<gint>(g_utf8_strlen(text, -1));
}

// The label's name is its whole text, as a static label's is on Windows.
const gchar* accessible_name(AtkObject* accessible) {
    return label_text(accessible);
}

// AtkText, read-only and in characters: a screen reader that reads text
// gets the label's text, line breaks included.
gchar* text_between(AtkText* text, gint start, gint end) {
    const gchar* all = label_text(ATK_OBJECT(text));
    if (all == nullptr) return nullptr;
    const gint count = character_count(all);
    if (end < 0 || end > count) end = count;
    start = std::clamp(start, 0, end);
    return g_utf8_substring(all, start, end);
}

gint text_length(AtkText* text) {
    return character_count(label_text(ATK_OBJECT(text)));
}

gunichar character_at(AtkText* text, gint offset) {
    const gchar* all = label_text(ATK_OBJECT(text));
    if (offset < 0 || offset >= character_count(all)) return 0;
    return g_utf8_get_char(g_utf8_offset_to_pointer(all, offset));
}

gint no_caret(AtkText*) {
    return -1;  // nothing in a label takes a caret
}

// Characters and paragraphs (each up to and with its line break); other
// units are not offered.
gchar* string_at(AtkText* text, gint offset, AtkTextGranularity granularity, gint* start,
                 gint* end) {
    *start = -1;
    *end = -1;
    const gchar* all = label_text(ATK_OBJECT(text));
    const gint count = character_count(all);
    if (offset < 0 || offset >= count) return nullptr;
    if (granularity == ATK_TEXT_GRANULARITY_CHAR) {
        *start = offset;
        *end = offset + 1;
    } else if (granularity == ATK_TEXT_GRANULARITY_PARAGRAPH) {
        gint first = 0;
        gint at = 0;
        for (const gchar* c = all; *c != '\0'; c = g_utf8_next_char(c), ++at) {
            if (*c != '\n') continue;
            if (at >= offset) break;
            first = at + 1;
        }
        *start = first;
        *end = std::min(at + 1, count);
    } else {
        return nullptr;
    }
    return g_utf8_substring(all, *start, *end);
}

void init_text_interface(gpointer iface, gpointer) {
    auto* text = static_cast<AtkTextIface*>(iface);
    text->get_text = text_between;
    text->get_character_count = text_length;
    text->get_character_at_offset = character_at;
    text->get_caret_offset = no_caret;
    text->get_string_at_offset = string_at;
}

void init_accessible_class(gpointer klass, gpointer) {
    ATK_OBJECT_CLASS(klass)->get_name = accessible_name;
}

GType register_subtype(GType parent, const char* name, GClassInitFunc init_class) {
    GTypeQuery sizes;
    g_type_query(parent, &sizes);
    return g_type_register_static_simple(parent, name, sizes.class_size, init_class,
                                         sizes.instance_size, nullptr, GTypeFlags(0));
}

GType label_accessible_type() {
    static const GType type = [] {
        const GType made = register_subtype(GTK_TYPE_WIDGET_ACCESSIBLE, "TarvelloLabelAccessible",
                                            init_accessible_class);
        const GInterfaceInfo text{init_text_interface, nullptr, nullptr};
        g_type_add_interface_static(made, ATK_TYPE_TEXT, &text);
        return made;
    }();
    return type;
}

void init_label_class(gpointer klass, gpointer) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), label_accessible_type());
    gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), ATK_ROLE_LABEL);
}

// A drawing area that accessibility tools see as a label.
GType label_widget_type() {
    static const GType type =
        register_subtype(GTK_TYPE_DRAWING_AREA, "TarvelloLabel", init_label_class);
    return type;
}

GdkRGBA face_colour(GtkWidget* widget) {
    GdkRGBA colour{0.965, 0.961, 0.957, 1.0};
    gtk_style_context_lookup_color(gtk_widget_get_style_context(widget), "theme_bg_color", &colour);
    return colour;
}

PangoAlignment pango_alignment(h_align a) {
    switch (a) {
        case h_align::centre:
            return PANGO_ALIGN_CENTER;
        case h_align::right:
            return PANGO_ALIGN_RIGHT;
        default:
            return PANGO_ALIGN_LEFT;
    }
}

int layout_height(PangoLayout* layout) {
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    return height;
}

// The label's text was laid out for the system's 9-point dialog font, whose
// lines are 12 pixels apart; GTK's default font with its CJK fallback is
// larger and leaves half a line of leading, so a long wrapped text would be
// cut off at the label's bottom. When it does not fit, lines go one font
// size apart and the size steps down until the whole text shows.
void fit_to_height(PangoLayout* layout, int height) {
    if (layout_height(layout) <= height) return;
    PangoContext* context = pango_layout_get_context(layout);
    double dpi = pango_cairo_context_get_resolution(context);
    if (dpi <= 0) dpi = 96.0;
    PangoFontDescription* font =
        pango_font_description_copy(pango_context_get_font_description(context));
    constexpr int smallest = 6 * PANGO_SCALE;
    for (int size = pango_font_description_get_size(font); size >= smallest;
         size -= PANGO_SCALE / 2) {
        pango_font_description_set_size(font, size);
        pango_layout_set_font_description(layout, font);
        PangoAttrList* lines = pango_attr_list_new();
        pango_attr_list_insert(
            lines, pango_attr_line_height_new_absolute(static_cast<int>(size * dpi / 72.0)));
        pango_layout_set_attributes(layout, lines);
        pango_attr_list_unref(lines);
        if (layout_height(layout) <= height) break;
    }
    pango_font_description_free(font);
}

int offset(int room, int used, int where) {
    // where: 0 start, 1 middle, 2 end
    if (where == 1) return (room - used) / 2;
    if (where == 2) return room - used;
    return 0;
}

}  // namespace

GtkWidget* new_label_widget(const std::string& text) {
    GtkWidget* widget = GTK_WIDGET(g_object_new(label_widget_type(), nullptr));
    g_object_set_data_full(G_OBJECT(widget), text_key, g_strdup(text.c_str()), g_free);
    return widget;
}

gboolean draw_label(GtkWidget* widget, cairo_t* cr, gpointer data) {
    const auto* label = static_cast<const object*>(data);
    const int width = gtk_widget_get_allocated_width(widget);
    const int height = gtk_widget_get_allocated_height(widget);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    const GdkRGBA face = face_colour(widget);
    gdk_cairo_set_source_rgba(cr, &face);
    cairo_paint(cr);

    PangoLayout* layout = gtk_widget_create_pango_layout(widget, label->text.c_str());
    const auto& style = label->label;
    int x = 0;
    int y = 0;
    if (style.word_wrap) {
        // Breaks at each line break and at word boundaries; starts at the top.
        pango_layout_set_width(layout, width * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout, pango_alignment(style.horizontal));
        fit_to_height(layout, height);
    } else {
        // One line, whatever line breaks the text holds.
        pango_layout_set_single_paragraph_mode(layout, TRUE);
        int text_width = 0;
        int text_height = 0;
        pango_layout_get_pixel_size(layout, &text_width, &text_height);
        x = offset(width, text_width, static_cast<int>(style.horizontal));
        y = offset(height, text_height, static_cast<int>(style.vertical));
    }
    cairo_set_source_rgb(cr, style.text.red / 255.0, style.text.green / 255.0,
                         style.text.blue / 255.0);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

}  // namespace tarvello::platform::gtk
