#include <gtest/gtest.h>

#include "Marqen_InterfaceV2.h"

namespace {

TEST(GetErrorMessage, ThroughTheExport) {
  EXPECT_STREQ(getErrorMessage(0), "No Error");
  EXPECT_STREQ(getErrorMessage(1201), "Error in Base64 to DER Conversion.");
  EXPECT_STREQ(getErrorMessage(2200), "An unknown exception ahs occured. ");
  EXPECT_STREQ(getErrorMessage(102), "Unsupported Error Code");
  EXPECT_STREQ(getErrorMessage(1808), "Unsupported Error Code");
  EXPECT_STREQ(getErrorMessage(-1), "Unsupported Error Code");
  // The text is the library's own and stays put between calls.
  EXPECT_EQ(getErrorMessage(101), getErrorMessage(101));
}

TEST(SetTrustedCANames, ReturnsTheDocumentedCodes) {
  const char16_t* names[] = {u"Root CA", nullptr};
  const char16_t* empty[] = {u""};
  EXPECT_EQ(setTrustedCANames(nullptr, 0), 102);
  EXPECT_EQ(setTrustedCANames(names, 0), 129);
  EXPECT_EQ(setTrustedCANames(names, 2), 129);
  EXPECT_EQ(setTrustedCANames(empty, 1), 131);
  EXPECT_EQ(setTrustedCANames(names, 1), 0);
}

}  // namespace
