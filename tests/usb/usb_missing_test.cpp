// With no USB library anywhere in the search order the USB link is simply not there.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/send_data.h"
#include "link/usb_link.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

TEST(UsbMissingLibrary, FailsTheLoadAndEveryStepAfterIt) {
  void* probe = ::dlopen("libVornUsbInt.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(probe, nullptr) << "a USB library is reachable from the test program";

  testing::MessageRecorder messages;
  EXPECT_FALSE(LoadUsbLibrary());
  std::vector<std::string> labels{"VORNUSB-0"};
  EXPECT_EQ(ListUsbDevices(labels), 0);
  EXPECT_TRUE(labels.empty());
  EXPECT_FALSE(OpenUsbDevice(0));
  EXPECT_EQ(messages.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
  Links().Kind = LinkKind::Usb;
  const uint8_t lf = 0x0A;
  EXPECT_EQ(SendData(&lf, 1), -1);
  UnloadUsbLibrary();  // nothing loaded: nothing happens
  ResetLinkState();
}

}  // namespace
}  // namespace tillvane
