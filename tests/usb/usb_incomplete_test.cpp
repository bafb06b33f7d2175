// A USB library that lacks one of its twelve entry points is not used at all.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/send_data.h"
#include "link/usb_link.h"
#include "tests/rigs/usb_rig.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

TEST(UsbIncompleteLibrary, FailsTheLoadAndIsNotKept) {
  // The library found first is the one lacking only its last entry point.
  void* probe = ::dlopen("libVornUsbInt.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(probe, nullptr) << ::dlerror();
  EXPECT_NE(::dlsym(probe, "AbortPipes"), nullptr);
  EXPECT_EQ(::dlsym(probe, "SetInterface"), nullptr);
  ::dlclose(probe);

  testing::MessageRecorder messages;
  EXPECT_FALSE(LoadUsbLibrary());
  EXPECT_FALSE(rigs::LoadedUsbLibrary::IsLoaded());
  std::vector<std::string> labels{"VORNUSB-0"};
  EXPECT_EQ(ListUsbDevices(labels), 0);
  EXPECT_TRUE(labels.empty());
  EXPECT_FALSE(OpenUsbDevice(0));
  EXPECT_EQ(messages.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
  UnloadUsbLibrary();
  ResetLinkState();
}

}  // namespace
}  // namespace tillvane
