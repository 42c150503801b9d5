// Our pictures, drawn rather than shipped: a certificate, a seal, a pointing mark, the
// authority's logo, the dialog's emblem, the control's icon and the information sign.

#include <cmath>

#include "platform/ui/gtk_common.h"

namespace marqen::ui::gtk {
namespace {

constexpr double kPi = 3.14159265358979323846;

void ink(cairo_t* cr) {
  cairo_set_source_rgb(cr, 43 / 255.0, 47 / 255.0, 111 / 255.0);
}
void gold(cairo_t* cr) {
  cairo_set_source_rgb(cr, 0.85, 0.65, 0.13);
}

void rosette(cairo_t* cr, double cx, double cy, double r) {
  gold(cr);
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  cairo_fill(cr);
  ink(cr);
  cairo_set_line_width(cr, std::max(1.0, r / 4));
  cairo_arc(cr, cx, cy, r * 0.55, 0, 2 * kPi);
  cairo_stroke(cr);
}

// Everything is drawn on a 16 × 16 grid and scaled.
void draw(cairo_t* cr, Picture picture) {
  switch (picture) {
    case Picture::Certificate:
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_rectangle(cr, 1.5, 2.5, 13, 10);
      cairo_fill_preserve(cr);
      ink(cr);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      cairo_move_to(cr, 3.5, 5.5);
      cairo_line_to(cr, 10.5, 5.5);
      cairo_move_to(cr, 3.5, 8.5);
      cairo_line_to(cr, 8.5, 8.5);
      cairo_stroke(cr);
      rosette(cr, 11.5, 11, 3);
      break;
    case Picture::Seal:
      rosette(cr, 8, 7, 5.5);
      gold(cr);
      cairo_move_to(cr, 5, 11);
      cairo_line_to(cr, 4, 16);
      cairo_line_to(cr, 7, 14);
      cairo_close_path(cr);
      cairo_move_to(cr, 11, 11);
      cairo_line_to(cr, 12, 16);
      cairo_line_to(cr, 9, 14);
      cairo_close_path(cr);
      cairo_fill(cr);
      break;
    case Picture::Pointer:
      ink(cr);
      cairo_arc(cr, 8, 8, 7, 0, 2 * kPi);
      cairo_fill(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_move_to(cr, 6, 4);
      cairo_line_to(cr, 11, 8);
      cairo_line_to(cr, 6, 12);
      cairo_close_path(cr);
      cairo_fill(cr);
      break;
    case Picture::Logo:
      ink(cr);
      cairo_rectangle(cr, 0, 0, 16, 16);
      cairo_fill(cr);
      gold(cr);
      cairo_set_line_width(cr, 2);
      cairo_move_to(cr, 3, 13);
      cairo_line_to(cr, 3, 3);
      cairo_line_to(cr, 8, 9);
      cairo_line_to(cr, 13, 3);
      cairo_line_to(cr, 13, 13);
      cairo_stroke(cr);
      break;
    case Picture::Emblem:
      ink(cr);
      cairo_set_line_width(cr, 0.6);
      for (int i = 0; i < 12; ++i) {
        const double a = i * kPi / 6;
        cairo_move_to(cr, 8, 8);
        cairo_line_to(cr, 8 + 7.5 * std::cos(a), 8 + 7.5 * std::sin(a));
      }
      cairo_stroke(cr);
      rosette(cr, 8, 8, 4.5);
      break;
    case Picture::ControlIcon:
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_rectangle(cr, 0.5, 0.5, 15, 15);
      cairo_fill_preserve(cr);
      ink(cr);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      cairo_save(cr);
      cairo_translate(cr, 8, 8);
      cairo_scale(cr, 6.5, 4.5);
      cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
      cairo_restore(cr);
      cairo_stroke(cr);
      break;
    case Picture::Information:
      cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
      cairo_arc(cr, 8, 8, 7.5, 0, 2 * kPi);
      cairo_fill(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_arc(cr, 8, 4.5, 1.2, 0, 2 * kPi);
      cairo_fill(cr);
      cairo_rectangle(cr, 7, 6.8, 2, 5.7);
      cairo_fill(cr);
      break;
  }
}

gboolean drawPicture(GtkWidget* widget, cairo_t* cr, gpointer data) {
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  const int side = std::min(width, height);
  cairo_translate(cr, (width - side) / 2.0, (height - side) / 2.0);
  cairo_scale(cr, side / 16.0, side / 16.0);
  draw(cr, static_cast<Picture>(GPOINTER_TO_INT(data)));
  return FALSE;
}

}  // namespace

GtkWidget* pictureWidget(Picture picture, int size) {
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, size, size);
  g_signal_connect(area, "draw", G_CALLBACK(drawPicture),
                   GINT_TO_POINTER(static_cast<int>(picture)));
  return area;
}

GdkPixbuf* picturePixbuf(Picture picture, int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, size / 16.0, size / 16.0);
  draw(cr, picture);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace marqen::ui::gtk
