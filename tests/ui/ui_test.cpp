#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "control/picker/cert_picker_dialog.h"
#include "platform/ui/dialogs.h"
#include "tests/support/surface_pixel.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_driver.h"
#include "tests/ui/xvfb.h"

namespace marqen::test {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

using picker::CertPickerDialog;
using Texts = std::vector<std::string>;

bool sensitive(GtkWindow* window, const char* label) {
  GtkWidget* button = buttonLabelled(window, label);
  EXPECT_NE(button, nullptr) << label;
  return button && gtk_widget_is_sensitive(button);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XvfbEnvironment::running()) GTEST_SKIP() << "Xvfb is not installed";
    ::setenv("FAKE_VIEW_LOG", views_.c_str(), 1);
    ::unsetenv("FAKE_LISTING_COUNT");
  }
  std::string viewed() const {
    std::ifstream in(views_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  TempDir dir_;
  std::string views_ = dir_.file("views");
};

TEST_F(DialogTest, PickerOpensWithTheStoresRowsNoSelectionAndOkDisabled) {
  CertPickerDialog dialog(FAKE_LIBRARY);
  whenShown("Select a Certificate", [](GtkWindow* window) {
    GtkTreeView* list = treeViewOf(window);
    ASSERT_NE(list, nullptr);
    Texts titles;
    for (int c = 0; c < 5; ++c)
      titles.emplace_back(gtk_tree_view_column_get_title(gtk_tree_view_get_column(list, c)));
    EXPECT_EQ(titles,
              (Texts{"Issued To", "Issued By", "Serial No.", "Expiration Date", "Issuer Details"}));
    EXPECT_EQ(columnTexts(list, 1), (Texts{"Test Signer", "Last Signer", "Third Signer"}));
    EXPECT_EQ(columnTexts(list, 3), (Texts{"0A1B", "FF00", "01"}));
    EXPECT_EQ(columnTexts(list, 4), (Texts{"01-01-2009 : 12:00:00 AM", "05-03-2009 : 02:07:09 PM",
                                           "01-01-2030 : 12:00:00 AM"}));
    EXPECT_EQ(selectedRow(list), -1);
    EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(list)));
    EXPECT_FALSE(sensitive(window, "OK"));
    EXPECT_FALSE(sensitive(window, "View Certificate"));
    EXPECT_TRUE(sensitive(window, "Cancel"));
    const Texts labels = labelsOf(window);
    for (const char* text : {"Select the Certificate you want to use.",
                             "Click View Certificate for Certificate Details.", picker::kNotice})
      EXPECT_NE(std::find(labels.begin(), labels.end(), text), labels.end()) << text;
    EXPECT_GT(screenshot(window, "picker"), 20U);
    // OK without a row does nothing, and Return does not choose either.
    gtk_button_clicked(GTK_BUTTON(buttonLabelled(window, "OK")));
    pressKey(window, GDK_KEY_Return);
    EXPECT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(window)));
    pressKey(window, GDK_KEY_Escape);
  });
  EXPECT_EQ(dialog.doModal(), picker::IDCANCEL);
  EXPECT_EQ(
      dialog.issuedTo() + dialog.issuerDetails() + dialog.serialNumber() + dialog.expirationDate(),
      "");
}

TEST_F(DialogTest, PickerIsChosenFromWithTheKeyboardAlone) {
  CertPickerDialog dialog(FAKE_LIBRARY);
  whenShown("Select a Certificate", [](GtkWindow* window) {
    GtkTreeView* list = treeViewOf(window);
    pressKey(window, GDK_KEY_Down);
    EXPECT_EQ(selectedRow(list), 0);
    EXPECT_TRUE(sensitive(window, "OK"));
    EXPECT_TRUE(sensitive(window, "View Certificate"));
    screenshot(window, "picker-first-row");
    // A lost selection takes OK away again.
    pressKey(window, "ctrl+space");
    EXPECT_EQ(selectedRow(list), -1);
    EXPECT_FALSE(sensitive(window, "OK"));
    EXPECT_FALSE(sensitive(window, "View Certificate"));
    pressKey(window, "ctrl+space");
    EXPECT_EQ(selectedRow(list), 0);
    pressKey(window, GDK_KEY_Down);
    EXPECT_EQ(selectedRow(list), 1);
    pressKey(window, GDK_KEY_Tab);
    EXPECT_TRUE(gtk_widget_is_focus(buttonLabelled(window, "OK")));
    pressKey(window, GDK_KEY_Return);
  });
  ASSERT_EQ(dialog.doModal(), picker::IDOK);
  EXPECT_EQ(dialog.issuedTo(), "Last Signer");
  EXPECT_EQ(dialog.issuerDetails(), "O=Unnamed Authority, C=IN");
  EXPECT_EQ(dialog.serialNumber(), "FF00");
  EXPECT_EQ(dialog.expirationDate(), "05-03-2009 : 02:07:09 PM");
}

TEST_F(DialogTest, ReturnInTheListTakesTheSelectedRow) {
  CertPickerDialog dialog(FAKE_LIBRARY);
  whenShown("Select a Certificate", [](GtkWindow* window) {
    for (int i = 0; i < 3; ++i)
      pressKey(window, GDK_KEY_Down);
    pressKey(window, GDK_KEY_Return);
  });
  ASSERT_EQ(dialog.doModal(), picker::IDOK);
  EXPECT_EQ(dialog.issuedTo(), "Third Signer");
  EXPECT_EQ(dialog.serialNumber(), "01");
}

TEST_F(DialogTest, ViewingARowKeepsThePickerOpen) {
  CertPickerDialog dialog(FAKE_LIBRARY);
  whenShown("Select a Certificate", [](GtkWindow* window) {
    GtkTreeView* list = treeViewOf(window);
    pressKey(window, GDK_KEY_Down);
    gtk_button_clicked(GTK_BUTTON(buttonLabelled(window, "View Certificate")));
    // A double-click activates the row with the pointer.
    GtkTreePath* second = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_view_set_cursor(list, second, nullptr, FALSE);
    gtk_tree_view_row_activated(list, second, gtk_tree_view_get_column(list, 0));
    gtk_tree_path_free(second);
    settle();
    EXPECT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(window)));
    pressKey(window, GDK_KEY_Escape);
  });
  EXPECT_EQ(dialog.doModal(), picker::IDCANCEL);
  EXPECT_EQ(viewed(),
            "CN=Marqen Test CA, O=Marqen Tests, C=IN|0A1B|1|no path|no password|no string|0|1\n"
            "O=Unnamed Authority, C=IN|FF00|1|no path|no password|no string|0|1\n");
}

TEST_F(DialogTest, AnEmptyStoreLeavesOnlyCancel) {
  ::setenv("FAKE_LISTING_COUNT", "0", 1);
  CertPickerDialog dialog(FAKE_LIBRARY);
  whenShown("Select a Certificate", [](GtkWindow* window) {
    EXPECT_TRUE(columnTexts(treeViewOf(window), 1).empty());
    EXPECT_FALSE(sensitive(window, "OK"));
    EXPECT_FALSE(sensitive(window, "View Certificate"));
    screenshot(window, "picker-empty");
    pressKey(window, GDK_KEY_Down);
    pressKey(window, GDK_KEY_Return);
    EXPECT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(window)));
    gtk_button_clicked(GTK_BUTTON(buttonLabelled(window, "Cancel")));
  });
  EXPECT_EQ(dialog.doModal(), picker::IDCANCEL);
}

TEST_F(DialogTest, TheLogoIsALinkAPictureOrHidden) {
  const struct {
    std::int32_t mode;
    bool visible;
    bool hand;
  } cases[] = {{picker::LOGO_LINK, true, true},
               {picker::LOGO_PLAIN, true, false},
               {picker::LOGO_HIDDEN, false, false}};
  for (const auto& c : cases) {
    CertPickerDialog dialog(FAKE_LIBRARY);
    dialog.logoMode = c.mode;
    whenShown("Select a Certificate", [&c](GtkWindow* window) {
      GtkWidget* logo = nullptr;
      for (GtkWidget* w : descendants(GTK_WIDGET(window)))
        if (GTK_IS_EVENT_BOX(w)) logo = w;
      ASSERT_NE(logo, nullptr);
      EXPECT_EQ(gtk_widget_get_visible(logo) != FALSE, c.visible) << c.mode;
      if (c.visible) {
        GdkCursor* cursor = gdk_window_get_cursor(gtk_widget_get_window(logo));
        EXPECT_EQ(cursor != nullptr, c.hand) << c.mode;
      }
      if (c.mode == picker::LOGO_HIDDEN) screenshot(window, "picker-logo-hidden");
      pressKey(window, GDK_KEY_Escape);
    });
    EXPECT_EQ(dialog.doModal(), picker::IDCANCEL);
  }
}

TEST_F(DialogTest, AboutBoxPropertyPageAndMessageBoxShowTheirTexts) {
  const struct {
    const char* title;
    const char* text;
    const char* screenshotName;
    guint key;
    ui::DialogResult result;
    std::function<ui::DialogResult()> show;
  } cases[] = {
      {"About Marqen Control", "Marqen Control, Version 1.0", "about-box", GDK_KEY_Return,
       ui::DialogResult::Ok, ui::aboutBox},
      {"General", "TODO: Place controls to manipulate properties of Marqen Control on this dialog.",
       "property-page", GDK_KEY_Escape, ui::DialogResult::Cancel, ui::propertyPage},
      {"Error", "The system cannot find the file specified.", "message-box", GDK_KEY_Return,
       ui::DialogResult::Ok,
       [] { return ui::messageBox("The system cannot find the file specified.", "Error"); }},
      {"Error", "No such file or directory", "system-error", GDK_KEY_Return, ui::DialogResult::Ok,
       [] {
         ui::showSystemError(ENOENT);
         return ui::DialogResult::Ok;
       }},
  };
  for (const auto& c : cases) {
    whenShown(c.title, [&c](GtkWindow* window) {
      const Texts labels = labelsOf(window);
      EXPECT_NE(std::find(labels.begin(), labels.end(), c.text), labels.end()) << c.title;
      EXPECT_GT(screenshot(window, c.screenshotName), 2U);
      pressKey(window, c.key);
    });
    EXPECT_EQ(c.show(), c.result) << c.title;
  }
}

TEST_F(DialogTest, NoErrorNumberMeansNoMessageBox) {
  EXPECT_EQ(ui::systemErrorText(0), std::nullopt);
  EXPECT_EQ(ui::systemErrorText(EACCES), "Permission denied");
  // Nothing is shown for 0: the test would wait for a window otherwise.
  ui::showSystemError(0);
}

TEST_F(DialogTest, TheControlDrawsAWhiteFillAndTheInscribedEllipse) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 60, 40);
  cairo_t* cr = cairo_create(surface);
  ASSERT_TRUE(ui::drawControl(cr, {10, 5, 40, 30}));
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  EXPECT_TRUE(ui::drawControl(cr, {0, 0, 0, 0}));
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const auto pixel = [&](int x, int y) { return pixelAt(surface, x, y); };
  const struct {
    int x, y;
    std::uint32_t argb;
  } cases[] = {
      {30, 20, 0xFFFFFFFF},  // centre: the fill
      {11, 6, 0xFFFFFFFF},   // a corner of the bounds, outside the ellipse
      {5, 2, 0x00000000},    // outside the bounds: untouched
      {55, 38, 0x00000000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pixel(c.x, c.y), c.argb) << c.x << ',' << c.y;
  // The ellipse touches the middle of each side of the bounds.
  for (const auto& [x, y] :
       {std::pair{30, 5}, std::pair{30, 34}, std::pair{10, 20}, std::pair{49, 20}})
    EXPECT_LT(pixel(x, y) & 0xFFu, 0xC0u) << x << ',' << y;
  cairo_surface_write_to_png(surface, (std::string(SCREENSHOT_DIR) + "/control.png").c_str());
  cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace marqen::test
