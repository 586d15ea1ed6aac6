// Labels that draw themselves: fill with the dialog-face colour, then the
// text in its colour without painting behind the glyphs, aligned, wrapped
// or kept to one line, and clipped to the label.
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
