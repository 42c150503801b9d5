#include "tests/ui/window_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/support/process.h"

namespace marqen::test {
namespace {

struct Pending {
  std::string title;
  std::function<void(GtkWindow*)> action;
  int ticks = 0;
  int shownTicks = 0;
};

GtkWindow* toplevelTitled(const std::string& title) {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* w = windows; w && !found; w = w->next) {
    auto* window = GTK_WINDOW(w->data);
    const char* t = gtk_window_get_title(window);
    if (t && title == t && gtk_widget_get_mapped(GTK_WIDGET(window))) found = window;
  }
  g_list_free(windows);
  return found;
}

gboolean poll(gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  GtkWindow* window = toplevelTitled(pending->title);
  // A few ticks after it is mapped, so it has been drawn and has taken its first focus.
  if (window && ++pending->shownTicks >= 3) {
    pending->action(window);
    delete pending;
    return G_SOURCE_REMOVE;
  }
  if (++pending->ticks > 400) {
    ADD_FAILURE() << "no window titled \"" << pending->title << "\" appeared";
    delete pending;
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

void collect(GtkWidget* widget, gpointer data) {
  auto* out = static_cast<std::vector<GtkWidget*>*>(data);
  out->push_back(widget);
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), collect, data);
}

}  // namespace

void whenShown(const std::string& title, std::function<void(GtkWindow*)> action) {
  g_timeout_add(25, poll, new Pending{title, std::move(action)});
}

std::vector<GtkWidget*> descendants(GtkWidget* root) {
  std::vector<GtkWidget*> out;
  if (GTK_IS_CONTAINER(root)) gtk_container_forall(GTK_CONTAINER(root), collect, &out);
  return out;
}

GtkWidget* buttonLabelled(GtkWindow* window, const std::string& label) {
  for (GtkWidget* w : descendants(GTK_WIDGET(window))) {
    if (!GTK_IS_BUTTON(w)) continue;
    const char* text = gtk_button_get_label(GTK_BUTTON(w));
    if (text && label == text) return w;
  }
  return nullptr;
}

GtkTreeView* treeViewOf(GtkWindow* window) {
  for (GtkWidget* w : descendants(GTK_WIDGET(window)))
    if (GTK_IS_TREE_VIEW(w)) return GTK_TREE_VIEW(w);
  return nullptr;
}

std::vector<std::string> labelsOf(GtkWindow* window) {
  std::vector<std::string> texts;
  for (GtkWidget* w : descendants(GTK_WIDGET(window)))
    if (GTK_IS_LABEL(w) && gtk_widget_get_visible(w))
      texts.emplace_back(gtk_label_get_text(GTK_LABEL(w)));
  return texts;
}

std::vector<std::string> columnTexts(GtkTreeView* list, int modelColumn) {
  std::vector<std::string> texts;
  GtkTreeModel* model = gtk_tree_view_get_model(list);
  GtkTreeIter iter;
  for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
       ok = gtk_tree_model_iter_next(model, &iter)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, modelColumn, &text, -1);
    texts.emplace_back(text ? text : "");
    g_free(text);
  }
  return texts;
}

int selectedRow(GtkTreeView* list) {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(list), &model, &iter)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  const int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return row;
}

void settle() {
  gdk_display_sync(gdk_display_get_default());
  for (int i = 0; i < 5; ++i) {
    while (gtk_events_pending())
      gtk_main_iteration();
    g_usleep(10000);
    gdk_display_sync(gdk_display_get_default());
  }
}

void pressKey(GtkWindow* window, guint keyval) {
  pressKey(window, gdk_keyval_name(keyval));
}

void pressKey(GtkWindow* window, const std::string& xdotoolKey) {
  // A real key through the X server's test extension, to whichever window has the keyboard:
  // the dialog takes it when it is presented.
  ASSERT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(window)));
  const ProcessResult pressed = runProcess(XDOTOOL, {"key", xdotoolKey});
  EXPECT_EQ(pressed.exitCode, 0) << pressed.err;
  settle();
}

std::size_t screenshot(GtkWindow* window, const std::string& name) {
  // What the X server shows, not what the widgets would draw elsewhere.
  settle();
  GdkWindow* shown = gtk_widget_get_window(GTK_WIDGET(window));
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(shown, 0, 0, gdk_window_get_width(shown),
                                                  gdk_window_get_height(shown));
  EXPECT_NE(picture, nullptr) << name;
  if (!picture) return 0;
  std::filesystem::create_directories(SCREENSHOT_DIR);
  const std::string path = std::string(SCREENSHOT_DIR) + "/" + name + ".png";
  EXPECT_TRUE(gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr)) << path;
  std::set<std::uint32_t> colours;
  const guchar* pixels = gdk_pixbuf_get_pixels(picture);
  const int channels = gdk_pixbuf_get_n_channels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  for (int y = 0; y < gdk_pixbuf_get_height(picture); ++y)
    for (int x = 0; x < gdk_pixbuf_get_width(picture); ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      colours.insert(std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
    }
  g_object_unref(picture);
  return colours.size();
}

}  // namespace marqen::test
