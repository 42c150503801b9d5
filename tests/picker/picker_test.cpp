#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "control/picker/cert_picker_dialog.h"
#include "platform/os/shared_library.h"
#include "tests/support/temp_dir.h"

namespace marqen::picker {
namespace {

// Sets TZ (and an environment variable) for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
    ::tzset();
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
    ::tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PickerTexts, CommonNameIsTheTextAfterTheFirstCnUpToTheNextComma) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"CN=Test Signer, O=Acme, C=IN", "Test Signer"},
      {"C=IN, O=Acme, CN=Last Signer", "Last Signer"},
      {"CN=First, CN=Second", "First"},
      {"OU=Sales, CN=\"Doe, Jane\", O=Acme", "\"Doe"},
      {"CN=", ""},
      {"O=Unnamed Authority, C=IN", "O=Unnamed Authority, C=IN"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(commonName(c.name), c.shown) << c.name;
}

TEST(PickerTexts, ExpiryIsLocalTimeDayFirstOnATwelveHourClock) {
  const struct {
    const char* tz;
    std::int64_t seconds;
    const char* shown;
  } cases[] = {
      {"UTC0", 1230768000, "01-01-2009 : 12:00:00 AM"},
      {"CET-1", 1230768000, "01-01-2009 : 01:00:00 AM"},
      {"UTC0", 1236262029, "05-03-2009 : 02:07:09 PM"},
      {"EST5", 1236262029, "05-03-2009 : 09:07:09 AM"},
      {"UTC0", 1230811200, "01-01-2009 : 12:00:00 PM"},
      {"EST5", 1230768000, "31-12-2008 : 07:00:00 PM"},
  };
  for (const auto& c : cases) {
    const ScopedEnv tz("TZ", c.tz);
    EXPECT_EQ(expiryText(c.seconds), c.shown) << c.tz << ' ' << c.seconds;
  }
}

TEST(PickerTexts, ARowShowsCommonNamesSerialExpiryAndTheWholeIssuer) {
  const ScopedEnv tz("TZ", "CET-1");
  char16_t issuer[] = u"CN=Marqen CA, O=Marqen, C=IN";
  char16_t subject[] = u"CN=Test Signer, O=Acme";
  char serial[] = "00FF";
  const CertificateSummary summary{issuer, serial, 1230768000, subject, 0};
  const Row row = rowOf(summary);
  EXPECT_EQ(row.cells[IssuedTo], "Test Signer");
  EXPECT_EQ(row.cells[IssuedBy], "Marqen CA");
  EXPECT_EQ(row.cells[SerialNo], "00FF");
  EXPECT_EQ(row.cells[ExpirationDate], "01-01-2009 : 01:00:00 AM");
  EXPECT_EQ(row.cells[IssuerDetails], "CN=Marqen CA, O=Marqen, C=IN");
}

std::vector<Row> threeRows() {
  std::vector<Row> rows(3);
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t c = 0; c < kColumnCount; ++c)
      rows[i].cells[c] = std::to_string(i) + ":" + kColumnTitles[c];
  return rows;
}

TEST(PickerState, OkAndViewNeedASelectedRowAndOkHandsBackThatRow) {
  PickerState state(threeRows());
  EXPECT_FALSE(state.okEnabled());
  EXPECT_FALSE(state.viewEnabled());
  EXPECT_FALSE(state.selection());

  state.select(2);
  ASSERT_TRUE(state.okEnabled());
  EXPECT_TRUE(state.viewEnabled());
  const auto chosen = state.selection();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->issuedTo, "2:Issued To");
  EXPECT_EQ(chosen->issuerDetails, "2:Issuer Details");
  EXPECT_EQ(chosen->serialNumber, "2:Serial No.");
  EXPECT_EQ(chosen->expirationDate, "2:Expiration Date");

  // A lost selection takes OK away again, as does a row that is not there.
  for (const std::optional<std::size_t> lost : {std::optional<std::size_t>(), std::optional(3UL)}) {
    state.select(0);
    state.select(lost);
    EXPECT_FALSE(state.okEnabled());
    EXPECT_FALSE(state.viewEnabled());
    EXPECT_FALSE(state.selection());
  }
}

TEST(PickerState, AnEmptyListNeverEnablesOk) {
  PickerState state({});
  state.select(0);
  EXPECT_FALSE(state.okEnabled());
  EXPECT_FALSE(state.selection());
}

class PickerLibraryTest : public ::testing::Test {
 protected:
  std::string viewLog() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  test::TempDir dir_;
  std::string log_ = (dir_.path() / "views").string();
  ScopedEnv logEnv_{"FAKE_VIEW_LOG", log_.c_str()};
  ScopedEnv tz_{"TZ", "UTC0"};
  PickerLibrary library_{FAKE_LIBRARY};
};

TEST_F(PickerLibraryTest, ListsTheLibrarysEntriesInItsOrderAndUnloadsIt) {
  const auto rows = library_.listSigningCertificates();
  EXPECT_FALSE(os::SharedLibrary::isLoaded(FAKE_LIBRARY));
  ASSERT_EQ(rows.size(), 3U);
  const char* expected[3][kColumnCount] = {
      {"Test Signer", "Marqen Test CA", "0A1B", "01-01-2009 : 12:00:00 AM",
       "CN=Marqen Test CA, O=Marqen Tests, C=IN"},
      {"Last Signer", "O=Unnamed Authority, C=IN", "FF00", "05-03-2009 : 02:07:09 PM",
       "O=Unnamed Authority, C=IN"},
      {"Third Signer", "Marqen Test CA", "01", "01-01-2030 : 12:00:00 AM",
       "CN=Marqen Test CA, O=Marqen Tests, C=IN"},
  };
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < kColumnCount; ++c)
      EXPECT_EQ(rows[r].cells[c], expected[r][c]) << r << ' ' << kColumnTitles[c];
}

TEST_F(PickerLibraryTest, AnEmptyListingOrAMissingLibraryGivesNoRows) {
  {
    const ScopedEnv none("FAKE_LISTING_COUNT", "0");
    EXPECT_TRUE(library_.listSigningCertificates().empty());
  }
  const PickerLibrary missing("Marqen_NoSuchLibrary.dll");
  EXPECT_TRUE(missing.listSigningCertificates().empty());
  EXPECT_FALSE(missing.viewCertificate("CN=A", "01"));
}

TEST_F(PickerLibraryTest, ViewingAsksForThePersonalStoresSigningCertificateByIssuerAndSerial) {
  EXPECT_TRUE(library_.viewCertificate("CN=Marqen Test CA, O=Marqen Tests", "0A1B"));
  EXPECT_FALSE(os::SharedLibrary::isLoaded(FAKE_LIBRARY));
  const std::string shown =
      "CN=Marqen Test CA, O=Marqen Tests|0A1B|1|no path|no password|no string|0|1\n";
  EXPECT_EQ(viewLog(), shown);
  // An empty issuer or serial shows nothing.
  EXPECT_FALSE(library_.viewCertificate("", "0A1B"));
  EXPECT_FALSE(library_.viewCertificate("CN=A", ""));
  EXPECT_EQ(viewLog(), shown);
}

TEST_F(PickerLibraryTest, TheControllerViewsRowsAndFollowsTheLogoOnlyAsALink) {
  const struct {
    std::int32_t mode;
    bool opens;
  } cases[] = {{LOGO_LINK, true}, {LOGO_PLAIN, false}, {LOGO_HIDDEN, false}};
  for (const auto& c : cases) {
    std::vector<std::string> opened;
    PickerController controller(library_, c.mode,
                                [&](const std::string& address) { opened.push_back(address); });
    controller.logoClicked();
    EXPECT_EQ(opened,
              c.opens ? std::vector<std::string>{kAuthorityAddress} : std::vector<std::string>{})
        << c.mode;
  }
  PickerController controller(library_, LOGO_LINK, [](const std::string&) {});
  EXPECT_EQ(controller.state().rows().size(), 3U);
  EXPECT_EQ(controller.selectionChanged(-1), 0);
  EXPECT_EQ(controller.selectionChanged(1), kMarqenPickerOkEnabled | kMarqenPickerViewEnabled);
  controller.viewRequested(1);
  controller.viewRequested(3);
  EXPECT_EQ(viewLog(), "O=Unnamed Authority, C=IN|FF00|1|no path|no password|no string|0|1\n");
}

TEST(CertPickerDialog, WithoutADisplayNothingIsShownAndTheTextsStayEmpty) {
  const ScopedEnv x11("DISPLAY", nullptr);
  const ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  CertPickerDialog dialog(FAKE_LIBRARY);
  EXPECT_EQ(dialog.doModal(), IDCANCEL);
  EXPECT_EQ(dialog.issuedTo(), "");
  EXPECT_EQ(dialog.issuerDetails(), "");
  EXPECT_EQ(dialog.serialNumber(), "");
  EXPECT_EQ(dialog.expirationDate(), "");
}

}  // namespace
}  // namespace marqen::picker
