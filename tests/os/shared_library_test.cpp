#include <gtest/gtest.h>

#include "platform/os/shared_library.h"

namespace marqen::os {
namespace {

TEST(SharedObjectName, MapsWindowsNames) {
  EXPECT_EQ(sharedObjectName("Marqen_InterfaceV2.dll"), "libMarqen_InterfaceV2.so");
  EXPECT_EQ(sharedObjectName("CRYPTUI.DLL"), "libCRYPTUI.so");
  EXPECT_EQ(sharedObjectName("libfoo.so"), "libfoo.so");
  EXPECT_EQ(sharedObjectName("/opt/x/Bar.dll"), "/opt/x/libBar.so");
}

TEST(SharedLibrary, LoadsFromTheAskingModulesFolderAndUnloads) {
  constexpr const char* kName = "marqen_loader_probe.dll";
  ASSERT_FALSE(SharedLibrary::isLoaded(kName));
  {
    auto library = SharedLibrary::load(kName);
    ASSERT_TRUE(library.has_value());
    EXPECT_TRUE(SharedLibrary::isLoaded(kName));
    auto* probe = library->function<int(int)>("marqenLoaderProbe");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe(20), 41);
    EXPECT_EQ(library->symbol("noSuchExport"), nullptr);

    // Moving keeps exactly one owner of the handle.
    SharedLibrary moved = std::move(*library);
    EXPECT_NE(moved.symbol("marqenLoaderProbe"), nullptr);
  }
  EXPECT_FALSE(SharedLibrary::isLoaded(kName));
}

TEST(SharedLibrary, MissingLibraryIsReportedNotThrown) {
  EXPECT_FALSE(SharedLibrary::load("NoSuchLibraryAnywhere.dll").has_value());
  EXPECT_FALSE(SharedLibrary::isLoaded("NoSuchLibraryAnywhere.dll"));
}

}  // namespace
}  // namespace marqen::os
