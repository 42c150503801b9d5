#pragma once
// Shared pieces of the dialog module: starting GTK, the modal frame, our pictures.

#include <gtk/gtk.h>

#include <memory>

namespace marqen::ui::gtk {

// gtk_init_check once; false when no display can be opened.
bool started();

// Runs a dialog modally, centred, and destroys it. 1 for OK, 2 for anything else.
int runModal(GtkDialog* dialog);

// A picture of ours, drawn with cairo at the given size.
enum class Picture { Certificate, Seal, Pointer, Logo, Emblem, ControlIcon, Information };
GtkWidget* pictureWidget(Picture picture, int size);
GdkPixbuf* picturePixbuf(Picture picture, int size);  // a new reference

struct UnrefObject {
  void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <typename T>
using ObjectPtr = std::unique_ptr<T, UnrefObject>;

}  // namespace marqen::ui::gtk
