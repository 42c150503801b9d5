// The approval dialog for a web page's origin, drawn with GTK.

#include <gtk/gtk.h>

#include <cstdint>

#include "platform/ui/origin_dialog_module.h"

namespace {

struct Waiting {
  GtkWidget* dialog;
  bool timeUp = false;
};

// Nobody answering within the time counts as deny.
gboolean timeUp(gpointer data) {
  auto* waiting = static_cast<Waiting*>(data);
  waiting->timeUp = true;
  gtk_dialog_response(GTK_DIALOG(waiting->dialog), GTK_RESPONSE_DELETE_EVENT);
  return G_SOURCE_REMOVE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t marqen_origin_dialog_v1(
    const char* title, const char* message, std::uint32_t seconds) {
  if (!gtk_init_check(nullptr, nullptr)) return MARQEN_ORIGIN_DIALOG_FAILED;
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                             GTK_BUTTONS_NONE, "%s", message);
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Deny", MARQEN_ORIGIN_DIALOG_DENY, "Allow _once",
                         MARQEN_ORIGIN_DIALOG_ONCE, "_Always allow", MARQEN_ORIGIN_DIALOG_ALWAYS,
                         nullptr);
  // A stray Enter must not let a page in.
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), MARQEN_ORIGIN_DIALOG_DENY);
  // Asked by a service in the background, the question takes the keyboard itself, in the middle
  // of the screen, as the picker does: where no window manager hands it the focus, the user's
  // keys would go elsewhere.
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_present(GTK_WINDOW(dialog));
  Waiting waiting{dialog};
  const guint timer = g_timeout_add_seconds(seconds, timeUp, &waiting);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  if (!waiting.timeUp) g_source_remove(timer);
  gtk_widget_destroy(dialog);
  while (gtk_events_pending())
    gtk_main_iteration();
  if (response == MARQEN_ORIGIN_DIALOG_ONCE || response == MARQEN_ORIGIN_DIALOG_ALWAYS)
    return response;
  return MARQEN_ORIGIN_DIALOG_DENY;
}
