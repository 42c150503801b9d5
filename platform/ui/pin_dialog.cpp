// The PIN prompt's drawing: a GTK dialog with a hidden entry, OK and Cancel.

#include <gtk/gtk.h>

#include <cstring>

#include "platform/ui/pin_dialog_module.h"

namespace {

std::int32_t showPinDialog(const char* title, const char* message, const char* warning, char* pin,
                           std::size_t capacity) {
  if (!gtk_init_check(nullptr, nullptr)) return MARQEN_PIN_DIALOG_FAILED;
  GtkWidget* dialog =
      gtk_dialog_new_with_buttons(title, nullptr, GTK_DIALOG_MODAL, "_Cancel", GTK_RESPONSE_CANCEL,
                                  "_OK", GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(area), 12);
  gtk_box_set_spacing(GTK_BOX(area), 8);

  GtkWidget* label = gtk_label_new(message);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
  gtk_box_pack_start(GTK_BOX(area), label, FALSE, FALSE, 0);
  if (warning && *warning) {
    GtkWidget* caution = gtk_label_new(warning);
    gtk_label_set_line_wrap(GTK_LABEL(caution), TRUE);
    gtk_label_set_xalign(GTK_LABEL(caution), 0.0F);
    gtk_box_pack_start(GTK_BOX(area), caution, FALSE, FALSE, 0);
  }
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
  gtk_entry_set_input_purpose(GTK_ENTRY(entry), GTK_INPUT_PURPOSE_PIN);
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 0);
  gtk_widget_show_all(dialog);
  // Asked for by a signing call (a page's, through the bridge), the prompt takes the keyboard
  // itself, in the middle of the screen: where no window manager hands it the focus, the PIN
  // typed would go elsewhere.
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_present(GTK_WINDOW(dialog));

  std::int32_t result = MARQEN_PIN_DIALOG_CANCELLED;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
    const char* text = gtk_entry_get_text(GTK_ENTRY(entry));
    const std::size_t length = std::strlen(text);
    if (length < capacity) {
      std::memcpy(pin, text, length + 1);
      result = MARQEN_PIN_DIALOG_OK;
    }
  }
  // The entry's own copy goes before the widget does.
  GtkEntryBuffer* buffer = gtk_entry_get_buffer(GTK_ENTRY(entry));
  gtk_entry_buffer_delete_text(buffer, 0, -1);
  gtk_widget_destroy(dialog);
  while (gtk_events_pending())
    gtk_main_iteration();
  return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t marqen_pin_dialog_v1(
    const char* title, const char* message, const char* warning, char* pin, std::size_t capacity) {
  return showPinDialog(title, message, warning, pin, capacity);
}
