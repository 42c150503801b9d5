// Real signatures made through the control the way a page makes them (activation by ProgID,
// the safety check, calls by name), and through marqen control run, checked with openssl.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "control/module/control_ids.h"
#include "platform/com/automation.h"
#include "platform/crypto/base64.h"
#include "platform/os/text.h"
#include "tests/com/dispatch_host.h"
#include "tests/control/control_host.h"
#include "tests/support/pki_builder.h"
#include "tests/support/process.h"

namespace marqen::test {
namespace {

using namespace marqen::com;

constexpr const char* kPassword = "pfx-pass 1";

class ControlSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(host_.registerControl(), S_OK);
    const Issued root = makeRootCa("Control Test Root");
    const Issued signer = makeEndEntity("Control Test Signer", root);
    PfxOptions pfx;
    pfx.holder = &signer;
    pfx.password = kPassword;
    writeBytes(pfx_, makePfx(pfx));
    writeFile(rootPem_, root.pem());
  }

  // The content of the signed message in Base64 text, when openssl verifies it.
  std::string verified(const std::string& base64) const {
    const auto der = crypto::decodeBase64(base64);
    EXPECT_FALSE(der.empty());
    const std::string message = host_.dir().file("message.p7m");
    const std::string content = host_.dir().file("content.out");
    writeBytes(message, der);
#ifdef OPENSSL_CLI
    const auto result =
        runProcess(OPENSSL_CLI, {"cms", "-verify", "-inform", "DER", "-in", message, "-CAfile",
                                 rootPem_, "-purpose", "any", "-out", content});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return readFile(content);
#else
    GTEST_SKIP() << "no openssl command";
    return {};
#endif
  }

  std::string signingTimeOf(const std::string& base64) const {
    writeBytes(host_.dir().file("timed.p7m"), crypto::decodeBase64(base64));
#ifdef OPENSSL_CLI
    const auto printed = runProcess(OPENSSL_CLI, {"cms", "-cmsout", "-print", "-inform", "DER",
                                                  "-in", host_.dir().file("timed.p7m")});
    const auto at = printed.out.find("UTCTIME:");
    return at == std::string::npos ? "" : printed.out.substr(at, printed.out.find('\n', at) - at);
#else
    return {};
#endif
  }

  ControlHost host_;
  const std::string pfx_ = host_.dir().file("signer.pfx");
  const std::string rootPem_ = host_.dir().file("root.pem");
};

TEST_F(ControlSigningTest, AHostSignsThroughIDispatchAndOpensslVerifies) {
  ActivatedObject control;
  std::string problem;
  ASSERT_EQ(createInstance(host_.registry(), control::kControlProgId, control, problem), S_OK)
      << problem;
  ASSERT_TRUE(isSafeForScripting(host_.registry(), control::CLSID_MarqenCtrl, control.get()));
  const auto dispatch = control.query<IDispatch>(IID_IDispatch);
  ASSERT_TRUE(dispatch);
  DispatchHost page(dispatch.get());

  EXPECT_EQ(page.call(u"updateData", {Arg::text(u"hello")}).value->boolVal, VARIANT_TRUE);
  const CallResult chosen = page.call(
      u"setSigningCertFromFile", {Arg::text(os::toUtf16(pfx_)), Arg::text(os::toUtf16(kPassword))});
  ASSERT_EQ(chosen.hr, S_OK);
  EXPECT_EQ(chosen.value->boolVal, VARIANT_TRUE)
      << os::toUtf8(bstrView(page.call(u"getErrorMessage", {}).value->bstrVal));
  const CallResult signature = page.call(u"sign", {});
  ASSERT_EQ(signature.hr, S_OK);
  ASSERT_EQ(signature.value->vt, VT_BSTR);
  const std::string base64 = os::toUtf8(bstrView(signature.value->bstrVal));
  ASSERT_FALSE(base64.empty()) << os::toUtf8(
      bstrView(page.call(u"getErrorMessage", {}).value->bstrVal));
  EXPECT_EQ(verified(base64), "hello");
  EXPECT_EQ(bstrView(page.call(u"getErrorMessage", {}).value->bstrVal),
            u"Operation Completed Successfully");
}

TEST_F(ControlSigningTest, MarqenControlRunSignsFromAScript) {
  const std::map<std::string, std::string> environment = {
      {"MARQEN_REGISTRY", host_.registry().file().string()},
      {"MARQEN_CERTSTORE", host_.dir().file("certstore")},
      {"TZ", "Asia/Kolkata"}};
  ASSERT_EQ(runProcess(MARQEN_TOOL, {"control", "unregister"}, environment).exitCode, 0);
  const auto registered = runProcess(MARQEN_TOOL, {"control", "register"}, environment);
  ASSERT_EQ(registered.exitCode, 0) << registered.err;
  EXPECT_NE(registered.out.find("registered MARQENI.MarqenICtrl.1"), std::string::npos);

  const nlohmann::json path = pfx_;
  const nlohmann::json password = kPassword;
  // 2023-11-14 22:13:20 UTC, as a page's script date in the tool's local time.
  writeFile(host_.dir().file("script"),
            "updateData(\"hello\")\n"
            "setSigningCertFromFile(" +
                path.dump() + ", " + password.dump() +
                ")\n"
                "setSigningTime({\"date\": 1700000000000})\n"
                "sign\n"
                "GETERRORMESSAGE\n");
  const auto run =
      runProcess(MARQEN_TOOL, {"control", "run", host_.dir().file("script")}, environment);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::istringstream lines(run.out);
  std::vector<nlohmann::json> results;
  for (std::string line; std::getline(lines, line);)
    results.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(results.size(), 5U) << run.out;
  EXPECT_EQ(results[0], true);
  EXPECT_EQ(results[1], true);
  EXPECT_EQ(results[2], true);
  EXPECT_EQ(results[4], "Operation Completed Successfully");
  ASSERT_TRUE(results[3].is_string());
  EXPECT_EQ(verified(results[3].get<std::string>()), "hello");
  EXPECT_EQ(signingTimeOf(results[3].get<std::string>()), "UTCTIME:Nov 14 22:13:20 2023 GMT");

  // A call the dispatch refuses stops the run, naming the line.
  writeFile(host_.dir().file("bad"), "updateData(\"x\")\nsetSignatureFormat(\"two\")\nsign\n");
  const auto refused =
      runProcess(MARQEN_TOOL, {"control", "run", host_.dir().file("bad")}, environment);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.out, "true\n");
  EXPECT_NE(refused.err.find("line 2: setSignatureFormat: an argument of the wrong type, "
                             "argument 1 (0x80020005)"),
            std::string::npos)
      << refused.err;

  ASSERT_EQ(runProcess(MARQEN_TOOL, {"control", "unregister"}, environment).exitCode, 0);
  EXPECT_EQ(
      runProcess(MARQEN_TOOL, {"control", "run", host_.dir().file("script")}, environment).exitCode,
      1);
}

}  // namespace
}  // namespace marqen::test
