#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/marqen_tool.h"
#include "tests/ui/xvfb.h"

namespace marqen::test {
namespace {

const auto* const xvfb = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// The library the tool uses lists certificates once its listing export is there.
bool libraryLists() {
  void* library = ::dlopen(LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  const bool lists = ::dlsym(library, "listAllCertificatesFromStore") != nullptr;
  ::dlclose(library);
  return lists;
}

class Pick : public ToolTest {
 protected:
  void SetUp() override {
    if (!XvfbEnvironment::running()) GTEST_SKIP() << "Xvfb is not installed";
  }

  // Runs marqen pick while a user presses `keys` once the picker is on the screen.
  ProcessResult pick(const std::vector<std::string>& keys) {
    std::thread user([&keys] {
      const auto shown = runProcess(
          XDOTOOL, {"search", "--sync", "--onlyvisible", "--name", "^Select a Certificate$"});
      EXPECT_EQ(shown.exitCode, 0) << shown.err;
      const auto pressed = runProcess(XDOTOOL, with({"key", "--delay", "50"}, keys));
      EXPECT_EQ(pressed.exitCode, 0) << pressed.err;
    });
    auto result = marqen({"pick"});
    user.join();
    return result;
  }

  Environment environment() const override { return {{"TZ", "UTC0"}}; }
};

TEST_F(Pick, CancelPrintsNothingAndFails) {
  const auto cancelled = pick({"Escape"});
  EXPECT_EQ(cancelled.exitCode, 1);
  EXPECT_EQ(cancelled.out, "");
}

TEST_F(Pick, WithoutAGraphicalSessionNothingIsShown) {
  const auto result = runProcess(MARQEN_TOOL, {"pick"}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("needs a graphical session"), std::string::npos) << result.err;
  EXPECT_EQ(runProcess(MARQEN_TOOL, {"pick", "extra"}).exitCode, 2);
}

TEST_F(Pick, TheChosenCertificatesTextsNameItForSigning) {
  if (!libraryLists()) GTEST_SKIP() << "the library does not list certificates yet";
  const Issued root = makeRootCa("Pick Root");
  const Issued signers[] = {makeEndEntity("Alice Signer", root), makeEndEntity("Bob Signer", root),
                            makeEndEntity("Carol Signer", root)};
  int n = 0;
  for (const auto& signer : signers)
    addToStore(storeRoot.path(), "MY", "signer" + std::to_string(n++), signer, /*withKey=*/true);
  addToStore(storeRoot.path(), "ROOT", "root", root);

  const auto chosen = pick({"Down", "Down", "Tab", "Return"});
  ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
  // Rows come in the store's order of file names: the second is Bob's.
  const std::string issuer = "CN=Pick Root, O=Marqen Test";
  const std::string serial = hexOf(serialOf(signers[1]));
  const auto lines = chosen.out;
  EXPECT_EQ(lines.substr(0, lines.find('\n')), "Bob Signer");
  EXPECT_NE(lines.find("\n" + issuer + "\n" + serial + "\n"), std::string::npos) << lines;

  const std::string document = files.file("order.txt");
  writeFile(document, "Order 7\n");
  const auto signedBy = marqen({"sign", "--in", document, "--issuer", issuer, "--serial", serial,
                                "--out", files.file("order.p7m")});
  EXPECT_EQ(signedBy.exitCode, 0) << signedBy.err;
}

}  // namespace
}  // namespace marqen::test
