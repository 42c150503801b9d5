#include <gtest/gtest.h>

#include "Marqen_InterfaceV2.h"

namespace {

TEST(GetErrorMessage, ThroughTheExport) {
  EXPECT_STREQ(getErrorMessage(0), "No Error");
  EXPECT_STREQ(getErrorMessage(MARQEN_E_BASE64_TO_DER), "Error in Base64 to DER Conversion.");
  EXPECT_STREQ(getErrorMessage(MARQEN_E_UNKNOWN_EXCEPTION), "An unknown exception ahs occured. ");
  EXPECT_STREQ(getErrorMessage(MARQEN_E_MISSING_ARGUMENT), "Unsupported Error Code");
  EXPECT_STREQ(getErrorMessage(MARQEN_E_MESSAGE_SIGNING), "Unsupported Error Code");
  EXPECT_STREQ(getErrorMessage(-1), "Unsupported Error Code");
  // The text is the library's own and stays put between calls.
  EXPECT_EQ(getErrorMessage(MARQEN_E_INVALID_INPUT_LENGTH),
            getErrorMessage(MARQEN_E_INVALID_INPUT_LENGTH));
}

TEST(SetTrustedCANames, ReturnsTheDocumentedCodes) {
  const char16_t* names[] = {u"Root CA", nullptr};
  const char16_t* empty[] = {u""};
  EXPECT_EQ(setTrustedCANames(nullptr, 0), MARQEN_E_MISSING_ARGUMENT);
  EXPECT_EQ(setTrustedCANames(names, 0), MARQEN_E_INVALID_TRUSTED_CA_COUNT);
  EXPECT_EQ(setTrustedCANames(names, 2), MARQEN_E_INVALID_TRUSTED_CA_COUNT);
  EXPECT_EQ(setTrustedCANames(empty, 1), MARQEN_E_INVALID_TRUSTED_CA_NAME_LENGTH);
  EXPECT_EQ(setTrustedCANames(names, 1), 0);
}

}  // namespace
