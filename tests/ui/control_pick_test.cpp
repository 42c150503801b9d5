// The control's dialogs: its picker as a page uses it (chosen with the keyboard, then signing
// uses it), and its property page as a design tool opens it from the control module.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "control/module/control_ids.h"
#include "control/script/marqen_ctrl.h"
#include "platform/com/activation.h"
#include "platform/os/text.h"
#include "tests/com/dispatch_host.h"
#include "tests/support/hex.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"
#include "tests/support/temp_cert_store.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/window_driver.h"
#include "tests/ui/xvfb.h"

namespace marqen::test {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

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

TEST(ControlModuleDialogs, ThePropertyPageFromItsFactoryShowsItsCaptionAndText) {
  if (!XvfbEnvironment::running()) GTEST_SKIP() << "Xvfb is not installed";
  std::string problem;
  const auto module = com::InprocModule::load(MARQEN_CONTROL_FILE, problem);
  ASSERT_TRUE(module) << problem;
  com::ComPtr<com::IClassFactory> factory;
  ASSERT_EQ(
      module->getClassObject(control::CLSID_MarqenPropPage, com::IID_IClassFactory, factory.put()),
      com::S_OK);
  com::ComPtr<com::IDispatch> page;
  ASSERT_EQ(factory->CreateInstance(nullptr, &com::IID_IDispatch, page.put()), com::S_OK);
  whenShown("General", [](GtkWindow* window) {
    const auto labels = labelsOf(window);
    EXPECT_NE(std::find(labels.begin(), labels.end(),
                        "TODO: Place controls to manipulate properties of Marqen Control on this "
                        "dialog."),
              labels.end());
    EXPECT_GT(screenshot(window, "property-page-from-factory"), 2U);
    pressKey(window, GDK_KEY_Return);
  });
  const CallResult shown = DispatchHost(page.get()).call(u"Show", {});
  ASSERT_EQ(shown.hr, com::S_OK);
  EXPECT_EQ(shown.value->lVal, 1);  // closed with OK
}

}  // namespace
}  // namespace marqen::test
