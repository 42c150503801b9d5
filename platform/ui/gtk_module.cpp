// The dialog module: the only binary that links GTK. Programs load it through dialogs.cpp.

#include <gtk/gtk.h>

#include "platform/ui/gtk_common.h"
#include "platform/ui/ui_module.h"

namespace marqen::ui::gtk {

std::int32_t runPicker(const MarqenPickerView* view, std::int32_t* chosenRow);

bool started() {
  static const bool ok = gtk_init_check(nullptr, nullptr) != FALSE;
  return ok;
}

int runModal(GtkDialog* dialog) {
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  // Raised and given the keyboard, also where no window manager does it.
  gtk_window_present(GTK_WINDOW(dialog));
  const int response = gtk_dialog_run(dialog);
  gtk_widget_destroy(GTK_WIDGET(dialog));
  // Let the window go from the screen before the caller carries on.
  while (gtk_events_pending())
    gtk_main_iteration();
  return response == GTK_RESPONSE_OK ? 1 : 2;
}

namespace {

// A dialog without an action area of its own: the content lays out its buttons.
GtkDialog* plainDialog(const char* title) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  return GTK_DIALOG(dialog);
}

void respondOk(GtkButton* /*button*/, gpointer dialog) {
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

GtkWidget* okButton(GtkDialog* dialog) {
  GtkWidget* ok = gtk_button_new_with_label("OK");
  gtk_widget_set_can_default(ok, TRUE);
  g_signal_connect(ok, "clicked", G_CALLBACK(respondOk), dialog);
  return ok;
}

GtkWidget* leftLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  return label;
}

// Drawn here rather than by GtkMessageDialog, which no longer shows the kind of message.
std::int32_t messageBox(const char* text, const char* caption) {
  if (!started()) return -1;
  GtkDialog* dialog = plainDialog(caption ? caption : "");
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(page), 14);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 14);
  GtkWidget* icon = pictureWidget(Picture::Information, 32);
  gtk_widget_set_valign(icon, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
  GtkWidget* message = leftLabel(text ? text : "");
  gtk_label_set_line_wrap(GTK_LABEL(message), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(message), 60);
  gtk_label_set_selectable(GTK_LABEL(message), TRUE);
  gtk_box_pack_start(GTK_BOX(row), message, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(page), row, TRUE, TRUE, 0);
  GtkWidget* ok = okButton(dialog);
  gtk_widget_set_size_request(ok, 80, -1);
  gtk_widget_set_halign(ok, GTK_ALIGN_END);
  gtk_box_pack_start(GTK_BOX(page), ok, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(dialog)), page, TRUE, TRUE, 0);
  gtk_widget_show_all(GTK_WIDGET(dialog));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
  return runModal(dialog);
}

std::int32_t aboutBox() {
  if (!started()) return -1;
  GtkDialog* dialog = plainDialog("About Marqen Control");
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 14);
  GtkWidget* icon = pictureWidget(Picture::ControlIcon, 32);
  gtk_widget_set_valign(icon, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
  gtk_box_pack_start(GTK_BOX(texts), leftLabel("Marqen Control, Version 1.0"), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(texts),
                     leftLabel("Signs with the certificates and keys you already hold."), FALSE,
                     FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);
  GtkWidget* ok = okButton(dialog);
  gtk_widget_set_valign(ok, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(row), ok, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(dialog)), row, TRUE, TRUE, 0);
  gtk_widget_show_all(GTK_WIDGET(dialog));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
  return runModal(dialog);
}

// Design tools show the page inside their own frame; here it gets a frame of its own, with the
// page's caption.
std::int32_t propertyPage() {
  if (!started()) return -1;
  GtkDialog* dialog = plainDialog("General");
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(page), 14);
  GtkWidget* text =
      leftLabel("TODO: Place controls to manipulate properties of Marqen Control on this dialog.");
  gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(text), 48);
  gtk_box_pack_start(GTK_BOX(page), text, TRUE, TRUE, 0);
  GtkWidget* ok = okButton(dialog);
  gtk_widget_set_halign(ok, GTK_ALIGN_END);
  gtk_box_pack_start(GTK_BOX(page), ok, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(dialog)), page, TRUE, TRUE, 0);
  gtk_widget_show_all(GTK_WIDGET(dialog));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
  return runModal(dialog);
}

void drawControl(cairo_t* cr, double x, double y, double width, double height) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  if (width > 0 && height > 0) {
    // The path is made in scaled space and stroked in the caller's, so the line keeps its width.
    cairo_save(cr);
    cairo_translate(cr, x + width / 2, y + height / 2);
    cairo_scale(cr, width / 2, height / 2);
    cairo_new_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * G_PI);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

std::int32_t openAddress(const char* address) {
  gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(address), nullptr};
  // Without DO_NOT_REAP the opener is reaped for us; its outcome is the desktop's business.
  return g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                       nullptr)
             ? 0
             : -1;
}

std::int32_t pickerEntry(const MarqenPickerView* view, std::int32_t* chosenRow) {
  return runPicker(view, chosenRow);
}

constexpr MarqenUiTable kTable{pickerEntry,  messageBox,  aboutBox,
                               propertyPage, drawControl, openAddress};

}  // namespace
}  // namespace marqen::ui::gtk

extern "C" __attribute__((visibility("default"))) const MarqenUiTable* marqen_ui_v1() {
  return &marqen::ui::gtk::kTable;
}
