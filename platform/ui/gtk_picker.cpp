// The certificate picker's drawing. What it lists, enables and returns is decided by the caller
// through the view's callbacks; this file only lays out, forwards and reflects.

#include <vector>

#include "platform/ui/gtk_common.h"
#include "platform/ui/ui_module.h"

namespace marqen::ui::gtk {
namespace {

// White ground and dark blue text for the dialog and every control, as the authority's pages
// look; the selected row keeps a colour of its own so it stays visible.
// White ground and dark blue text for the dialog and its texts and list, as the authority's
// pages look. Push buttons keep the desktop's look, so a disabled one still looks disabled; the
// selected row keeps a colour of its own so it stays visible.
constexpr const char* kPickerCss =
    ".marqen-picker, .marqen-picker frame, .marqen-picker scrolledwindow,"
    " .marqen-picker treeview.view { color: rgb(43, 47, 111); background-color: #ffffff; }"
    ".marqen-picker .marqen-text { color: rgb(43, 47, 111); }"
    ".marqen-picker { font-family: Verdana, sans-serif; font-size: 8pt; }"
    ".marqen-picker treeview.view:selected { color: #ffffff; background-color: rgb(43, 47, 111); }"
    ".marqen-picker .notice { font-family: Verdana, sans-serif; font-size: 9px; }";

enum StoreColumn { kIcon = 0, kFirstText = 1 };

struct Picker {
  const MarqenPickerView* view = nullptr;
  GtkDialog* dialog = nullptr;
  GtkTreeView* list = nullptr;
  GtkWidget* ok = nullptr;
  GtkWidget* viewButton = nullptr;
};

std::int32_t selectedRow(GtkTreeView* list) {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(list), &model, &iter)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  const std::int32_t row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return row;
}

void reflect(Picker& picker) {
  const std::int32_t row = selectedRow(picker.list);
  const std::int32_t enabled = picker.view->selectionChanged(picker.view->context, row);
  const bool okEnabled = (enabled & kMarqenPickerOkEnabled) != 0;
  gtk_widget_set_sensitive(picker.ok, okEnabled);
  gtk_widget_set_sensitive(picker.viewButton, (enabled & kMarqenPickerViewEnabled) != 0);
  if (okEnabled) gtk_window_set_default(GTK_WINDOW(picker.dialog), picker.ok);
}

void selectionChanged(GtkTreeSelection* /*selection*/, gpointer data) {
  reflect(*static_cast<Picker*>(data));
}

void viewSelected(Picker& picker) {
  const std::int32_t row = selectedRow(picker.list);
  if (row >= 0 && gtk_widget_get_sensitive(picker.viewButton))
    picker.view->viewRequested(picker.view->context, row);
}

void viewClicked(GtkButton* /*button*/, gpointer data) {
  viewSelected(*static_cast<Picker*>(data));
}

void okClicked(GtkButton* /*button*/, gpointer data) {
  auto& picker = *static_cast<Picker*>(data);
  if (gtk_widget_get_sensitive(picker.ok)) gtk_dialog_response(picker.dialog, GTK_RESPONSE_OK);
}

void cancelClicked(GtkButton* /*button*/, gpointer data) {
  gtk_dialog_response(static_cast<Picker*>(data)->dialog, GTK_RESPONSE_CANCEL);
}

// A double-click views the row and leaves the dialog open; Return in the list presses the
// default button, as in any dialog.
void rowActivated(GtkTreeView* /*list*/, GtkTreePath* /*path*/, GtkTreeViewColumn* /*column*/,
                  gpointer data) {
  auto& picker = *static_cast<Picker*>(data);
  GdkEvent* event = gtk_get_current_event();
  const bool byKey = event && (event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE);
  if (event) gdk_event_free(event);
  if (byKey)
    okClicked(nullptr, data);
  else
    viewSelected(picker);
}

// With no row selected, the first arrow press selects the row under the cursor instead of
// moving past it, so Down then Return takes the first certificate.
gboolean listKeyPressed(GtkWidget* widget, GdkEventKey* event, gpointer /*data*/) {
  switch (event->keyval) {
    case GDK_KEY_Up:
    case GDK_KEY_Down:
    case GDK_KEY_KP_Up:
    case GDK_KEY_KP_Down:
      break;
    default:
      return FALSE;
  }
  auto* list = GTK_TREE_VIEW(widget);
  if (selectedRow(list) >= 0) return FALSE;
  GtkTreePath* cursor = nullptr;
  gtk_tree_view_get_cursor(list, &cursor, nullptr);
  if (!cursor) {
    if (gtk_tree_model_iter_n_children(gtk_tree_view_get_model(list), nullptr) == 0) return FALSE;
    cursor = gtk_tree_path_new_first();
  }
  gtk_tree_view_set_cursor(list, cursor, nullptr, FALSE);
  gtk_tree_path_free(cursor);
  return TRUE;
}

// GTK selects the cursor row when the list takes the focus; the dialog opens with none.
void clearSelection(GtkWidget* /*widget*/, gpointer data) {
  gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(static_cast<Picker*>(data)->list));
}

gboolean firstFocusIn(GtkWidget* widget, GdkEvent* /*event*/, gpointer data) {
  clearSelection(widget, data);
  g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(firstFocusIn), data);
  return FALSE;
}

gboolean logoPressed(GtkWidget* /*widget*/, GdkEventButton* event, gpointer data) {
  if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
    const auto& picker = *static_cast<Picker*>(data);
    picker.view->logoClicked(picker.view->context);
  }
  return TRUE;
}

void showHand(GtkWidget* widget, gpointer /*data*/) {
  GdkDisplay* display = gtk_widget_get_display(widget);
  ObjectPtr<GdkCursor> hand(gdk_cursor_new_from_name(display, "pointer"));
  if (hand) gdk_window_set_cursor(gtk_widget_get_window(widget), hand.get());
}

GtkWidget* buildList(Picker& picker) {
  const MarqenPickerView& view = *picker.view;
  const auto columns = static_cast<int>(view.columnCount);
  std::vector<GType> types(static_cast<std::size_t>(columns) + 1, G_TYPE_STRING);
  types[kIcon] = GDK_TYPE_PIXBUF;
  ObjectPtr<GtkListStore> store(gtk_list_store_newv(columns + 1, types.data()));
  ObjectPtr<GdkPixbuf> icon(picturePixbuf(Picture::Certificate, 15));
  for (std::int32_t r = 0; r < view.rowCount; ++r) {
    GtkTreeIter iter;
    gtk_list_store_append(store.get(), &iter);
    gtk_list_store_set(store.get(), &iter, kIcon, icon.get(), -1);
    for (int c = 0; c < columns; ++c)
      gtk_list_store_set(store.get(), &iter, kFirstText + c, view.cells[r * columns + c], -1);
  }
  GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store.get()));
  picker.list = GTK_TREE_VIEW(list);
  gtk_tree_view_set_grid_lines(picker.list, GTK_TREE_VIEW_GRID_LINES_BOTH);
  gtk_tree_view_set_enable_search(picker.list, FALSE);
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(picker.list), GTK_SELECTION_SINGLE);
  for (int c = 0; c < columns; ++c) {
    GtkTreeViewColumn* column = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(column, view.columnTitles[c]);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 100);
    gtk_tree_view_column_set_resizable(column, TRUE);
    if (c == 0) {
      GtkCellRenderer* image = gtk_cell_renderer_pixbuf_new();
      gtk_tree_view_column_pack_start(column, image, FALSE);
      gtk_tree_view_column_add_attribute(column, image, "pixbuf", kIcon);
    }
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "xalign", 0.0, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
    gtk_tree_view_column_pack_start(column, text, TRUE);
    gtk_tree_view_column_add_attribute(column, text, "text", kFirstText + c);
    gtk_tree_view_append_column(picker.list, column);
  }
  // Info tips: the whole issuer name of the row under the pointer.
  if (columns > 0) gtk_tree_view_set_tooltip_column(picker.list, kFirstText + columns - 1);
  g_signal_connect(list, "row-activated", G_CALLBACK(rowActivated), &picker);
  g_signal_connect(list, "key-press-event", G_CALLBACK(listKeyPressed), &picker);
  g_signal_connect_after(list, "focus-in-event", G_CALLBACK(firstFocusIn), &picker);
  g_signal_connect(gtk_tree_view_get_selection(picker.list), "changed",
                   G_CALLBACK(selectionChanged), &picker);

  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_widget_set_size_request(scrolled, 500, 130);
  gtk_container_add(GTK_CONTAINER(scrolled), list);
  return scrolled;
}

GtkWidget* button(const char* label, GCallback clicked, Picker& picker) {
  GtkWidget* b = gtk_button_new_with_label(label);
  gtk_widget_set_size_request(b, 100, -1);
  g_signal_connect(b, "clicked", clicked, &picker);
  return b;
}

void applyStyle(GtkWidget* dialog) {
  static GtkCssProvider* provider = [] {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kPickerCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    return css;
  }();
  static_cast<void>(provider);
  gtk_style_context_add_class(gtk_widget_get_style_context(dialog), "marqen-picker");
}

GtkWidget* buildContent(Picker& picker) {
  const MarqenPickerView& view = *picker.view;
  GtkWidget* outer = gtk_frame_new(nullptr);
  gtk_container_set_border_width(GTK_CONTAINER(outer), 8);
  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(page), 8);
  gtk_container_add(GTK_CONTAINER(outer), page);

  GtkWidget* header = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_box_pack_start(GTK_BOX(header), pictureWidget(Picture::Seal, 23), FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(header), pictureWidget(Picture::Emblem, 48), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), header, FALSE, FALSE, 0);

  GtkWidget* inner = gtk_frame_new(nullptr);
  GtkWidget* body = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(body), 12);
  gtk_container_add(GTK_CONTAINER(inner), body);
  GtkWidget* intro = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  GtkWidget* pointer = pictureWidget(Picture::Pointer, 23);
  gtk_widget_set_valign(pointer, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(intro), pointer, FALSE, FALSE, 0);
  GtkWidget* lines = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  for (const char* text : {"Select the Certificate you want to use.",
                           "Click View Certificate for Certificate Details."}) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(label), "marqen-text");
    gtk_box_pack_start(GTK_BOX(lines), label, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(intro), lines, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(body), intro, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), buildList(picker), TRUE, TRUE, 0);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  picker.ok = button("OK", G_CALLBACK(okClicked), picker);
  gtk_widget_set_can_default(picker.ok, TRUE);
  picker.viewButton = button("View Certificate", G_CALLBACK(viewClicked), picker);
  gtk_box_pack_end(GTK_BOX(buttons), picker.viewButton, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(buttons), button("Cancel", G_CALLBACK(cancelClicked), picker), FALSE,
                   FALSE, 0);
  gtk_box_pack_end(GTK_BOX(buttons), picker.ok, FALSE, FALSE, 0);
  // The box hands the focus on from left to right: Tab from the list reaches OK first.
  gtk_box_pack_start(GTK_BOX(body), buttons, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), inner, TRUE, TRUE, 0);

  GtkWidget* logo = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(logo), pictureWidget(Picture::Logo, 23));
  gtk_widget_set_halign(logo, GTK_ALIGN_CENTER);
  g_signal_connect(logo, "button-press-event", G_CALLBACK(logoPressed), &picker);
  if (view.logoIsLink) g_signal_connect_after(logo, "realize", G_CALLBACK(showHand), nullptr);
  gtk_widget_set_no_show_all(logo, !view.logoVisible);
  gtk_box_pack_start(GTK_BOX(page), logo, FALSE, FALSE, 0);

  GtkWidget* notice = gtk_label_new(view.notice);
  gtk_style_context_add_class(gtk_widget_get_style_context(notice), "marqen-text");
  gtk_style_context_add_class(gtk_widget_get_style_context(notice), "notice");
  gtk_box_pack_start(GTK_BOX(page), notice, FALSE, FALSE, 0);
  return outer;
}

}  // namespace

std::int32_t runPicker(const MarqenPickerView* view, std::int32_t* chosenRow) {
  *chosenRow = -1;
  if (!started()) return -1;
  Picker picker;
  picker.view = view;
  picker.dialog = GTK_DIALOG(gtk_dialog_new());
  gtk_window_set_title(GTK_WINDOW(picker.dialog), view->title);
  applyStyle(GTK_WIDGET(picker.dialog));
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(picker.dialog)), buildContent(picker),
                     TRUE, TRUE, 0);
  reflect(picker);
  gtk_widget_show_all(GTK_WIDGET(picker.dialog));
  gtk_widget_grab_focus(GTK_WIDGET(picker.list));
  clearSelection(nullptr, &picker);

  gtk_window_set_position(GTK_WINDOW(picker.dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_modal(GTK_WINDOW(picker.dialog), TRUE);
  gtk_window_present(GTK_WINDOW(picker.dialog));
  const int response = gtk_dialog_run(picker.dialog);
  if (response == GTK_RESPONSE_OK) *chosenRow = selectedRow(picker.list);
  // Taking the list down may change its selection; nothing is to answer that any more.
  g_signal_handlers_disconnect_by_data(gtk_tree_view_get_selection(picker.list), &picker);
  g_signal_handlers_disconnect_by_data(picker.list, &picker);
  gtk_widget_destroy(GTK_WIDGET(picker.dialog));
  while (gtk_events_pending())
    gtk_main_iteration();
  return response == GTK_RESPONSE_OK ? 1 : 2;
}

}  // namespace marqen::ui::gtk
