#include <gtest/gtest.h>

#include "library/core/error_codes.h"
#include "library/core/signer_library.h"
#include "tests/support/raised_code.h"

namespace marqen {
namespace {

TEST(TrustedCANames, FailedCallsLeaveThePreviousListInForce) {
  auto& library = SignerLibrary::instance();
  const char16_t* good[] = {u"Root CA One", u"Issuing CA Two"};
  ASSERT_EQ(test::raisedCode([&] { library.setTrustedCANames(good, 2); }), err::NO_ERROR);

  const char16_t* nullSecond[] = {u"Other", nullptr};
  const char16_t* emptyFirst[] = {u"", u"Other"};
  const char16_t* emptyLast[] = {u"Other", u""};
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(nullptr, 0); }),
            err::MISSING_ARGUMENT);
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(good, 0); }),
            err::INVALID_TRUSTED_CA_COUNT);
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(good, -3); }),
            err::INVALID_TRUSTED_CA_COUNT);
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(nullSecond, 2); }),
            err::INVALID_TRUSTED_CA_COUNT);
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(emptyFirst, 2); }),
            err::INVALID_TRUSTED_CA_NAME_LENGTH);
  EXPECT_EQ(test::raisedCode([&] { library.setTrustedCANames(emptyLast, 2); }),
            err::INVALID_TRUSTED_CA_NAME_LENGTH);

  ASSERT_EQ(library.trustedCANames()->size(), 2U);
  EXPECT_EQ((*library.trustedCANames())[0], u"Root CA One");
  EXPECT_EQ((*library.trustedCANames())[1], u"Issuing CA Two");
}

TEST(TrustedCANames, SuccessReplacesWholeAndCopiesTheNames) {
  auto& library = SignerLibrary::instance();
  char16_t name[] = u"Mutable CA";
  const char16_t* names[] = {name, u"Ignored past count"};
  ASSERT_EQ(test::raisedCode([&] { library.setTrustedCANames(names, 1); }), err::NO_ERROR);
  name[0] = u'X';  // the caller's buffer changes after the call
  ASSERT_EQ(library.trustedCANames()->size(), 1U);
  EXPECT_EQ((*library.trustedCANames())[0], u"Mutable CA");
  EXPECT_TRUE(library.hasTrustedCANames());
}

TEST(TrustedCANames, AHeldSnapshotNeverChanges) {
  auto& library = SignerLibrary::instance();
  const char16_t* first[] = {u"First CA", u"Second CA"};
  ASSERT_EQ(test::raisedCode([&] { library.setTrustedCANames(first, 2); }), err::NO_ERROR);
  const auto held = library.trustedCANames();
  const char16_t* replacement[] = {u"Replacement CA"};
  ASSERT_EQ(test::raisedCode([&] { library.setTrustedCANames(replacement, 1); }), err::NO_ERROR);
  EXPECT_EQ(*held, (TrustedCANames{u"First CA", u"Second CA"}));
  EXPECT_EQ(*library.trustedCANames(), TrustedCANames{u"Replacement CA"});
}

}  // namespace
}  // namespace marqen
