// Labels that draw themselves: fill with the dialog-face colour, then the
// text in its colour without painting behind the glyphs, aligned, wrapped
// or kept to one line, and clipped to the label; a wrapped text that would
// run past the bottom is set tighter and smaller until it fits.
#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

namespace {

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
