// The control's picker as a page uses it: chosen with the keyboard, then signing uses it.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "control/script/marqen_ctrl.h"
#include "platform/os/text.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_driver.h"
#include "tests/ui/xvfb.h"

namespace marqen::test {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

std::string hexOf(const Bytes& bytes) {
  std::string hex;
  for (const unsigned char byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    hex += digits;
  }
  return hex;
}

std::string text(const std::u16string& wide) {
  return os::toUtf8(wide);
}

// A personal store with three signers under one root, the second of them Bob.
class ControlPicker : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XvfbEnvironment::running()) GTEST_SKIP() << "Xvfb is not installed";
    int n = 0;
    for (const auto& signer : signers_)
      store_.add("MY", "signer" + std::to_string(n++), signer, /*withKey=*/true);
    store_.add("ROOT", "root", root_);
  }
  std::string status() const { return text(control_.getErrorMessage()); }

  // The subject of the one certificate a signed message (Base64) carries, as openssl prints it.
  static std::string signerOf(const std::u16string& base64) {
    TempDir dir;
    const std::string file = dir.file("message.pem");
    std::string body = text(base64);
    if (!body.empty() && body.back() != '\n') body += '\n';
    std::ofstream(file) << "-----BEGIN PKCS7-----\n" << body << "-----END PKCS7-----\n";
    const auto printed = runProcess(OPENSSL_CLI, {"pkcs7", "-in", file, "-print_certs", "-noout"});
    EXPECT_EQ(printed.exitCode, 0) << printed.err;
    return printed.out;
  }

  TempCertStore store_;
  Issued root_ = makeRootCa("Picker Root");
  Issued signers_[3] = {makeEndEntity("Alice Signer", root_), makeEndEntity("Bob Signer", root_),
                        makeEndEntity("Carol Signer", root_)};
  control::CMarqenCtrl control_;
};

TEST_F(ControlPicker, TheKeyboardChoosesTheSignerThatSigningThenUses) {
  whenShown("Select a Certificate", [](GtkWindow* window) {
    for (const int key : {GDK_KEY_Down, GDK_KEY_Down, GDK_KEY_Tab, GDK_KEY_Return})
      pressKey(window, static_cast<guint>(key));
  });
  ASSERT_TRUE(control_.selectSigningCertFromUI()) << status();
  EXPECT_EQ(status(), "Operation Completed Successfully");
  EXPECT_EQ(text(control_.getSelectedSignerCertDetails(1)), "Bob Signer");
  EXPECT_EQ(text(control_.getSelectedSignerCertDetails(2)), "CN=Picker Root, O=Marqen Test");
  EXPECT_EQ(text(control_.getSelectedSignerCertDetails(3)), hexOf(serialOf(signers_[1])));

  ASSERT_TRUE(control_.updateData(std::u16string(u"Order 7"))) << status();
  const std::u16string message = control_.sign();
  ASSERT_FALSE(message.empty()) << status();
  EXPECT_NE(signerOf(message).find("CN = Bob Signer"), std::string::npos);
}

TEST_F(ControlPicker, CancelKeepsTheEarlierSigner) {
  ASSERT_TRUE(control_.setSigningCertFromStore(std::u16string(u"CN=Picker Root, O=Marqen Test"),
                                               os::toUtf16(hexOf(serialOf(signers_[2])))))
      << status();
  whenShown("Select a Certificate", [](GtkWindow* window) {
    pressKey(window, GDK_KEY_Down);
    pressKey(window, GDK_KEY_Escape);
  });
  EXPECT_FALSE(control_.selectSigningCertFromUI());
  EXPECT_EQ(status(), "Error in selectSigningCertFromUI");
  EXPECT_EQ(text(control_.getSelectedSignerCertDetails(1)), "");

  ASSERT_TRUE(control_.updateData(std::u16string(u"Order 8"))) << status();
  const std::u16string message = control_.sign();
  ASSERT_FALSE(message.empty()) << status();
  EXPECT_NE(signerOf(message).find("CN = Carol Signer"), std::string::npos);
}

}  // namespace
}  // namespace marqen::test
