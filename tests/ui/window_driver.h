#pragma once
// Drives our dialogs from inside the test process as a user would: waits for a window to be on
// the screen, reads what it shows, presses keys through the X server and takes screenshots.

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace marqen::test {

// Arranges for `action` to run on the window titled `title` once it is on the screen; the
// dialog's own modal loop runs it. Call before the call that shows the window.
void whenShown(const std::string& title, std::function<void(GtkWindow*)> action);

// Every widget below `root`, internal ones included, depth first.
std::vector<GtkWidget*> descendants(GtkWidget* root);
GtkWidget* buttonLabelled(GtkWindow* window, const std::string& label);
GtkTreeView* treeViewOf(GtkWindow* window);
std::vector<std::string> labelsOf(GtkWindow* window);
// The text cells of one column of the list's model (column 0 is the icon).
std::vector<std::string> columnTexts(GtkTreeView* list, int modelColumn);
int selectedRow(GtkTreeView* list);

// A key pressed and released on the keyboard, then the events handled.
void pressKey(GtkWindow* window, guint keyval);
void pressKey(GtkWindow* window, const std::string& xdotoolKey);  // e.g. "ctrl+space"
void settle();

// Writes the window's picture to the screenshot folder; returns the number of distinct colours
// seen, so a blank picture shows up.
std::size_t screenshot(GtkWindow* window, const std::string& name);

}  // namespace marqen::test
