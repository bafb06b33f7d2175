// The USB link over the simulated USB library: loading, listing, opening and the
// USB row of SendData.
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/send_data.h"
#include "link/usb_link.h"
#include "tests/rigs/usb_rig.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using Labels = std::vector<std::string>;
using testing::Bytes;

class UsbSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    ASSERT_TRUE(LoadUsbLibrary());
    sim_ = std::make_unique<rigs::SimUsb>();
    sim_->Reset();
  }
  void TearDown() override {
    // No entry point was ever called with a handle that was not open.
    if (sim_) {
      EXPECT_EQ(sim_->StaleHandleCalls(), 0);
    }
    sim_.reset();
    UnloadUsbLibrary();
    ResetLinkState();
  }

  bool OpenAsLink(int n) {
    if (!OpenUsbDevice(n)) return false;
    Links().Kind = LinkKind::Usb;
    return true;
  }

  std::unique_ptr<rigs::SimUsb> sim_;
  testing::MessageRecorder messages_;
};

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

TEST_F(UsbSimTest, ListingStopsAtTheFirstNumberWithoutDevice) {
  sim_->SetDeviceCount(3);
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 3);
  EXPECT_EQ(labels, (Labels{"VORNUSB-0", "VORNUSB-1", "VORNUSB-2"}));
  EXPECT_EQ(sim_->OpenCalls(3), 1);
  EXPECT_EQ(sim_->OpenCalls(4), 0);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(sim_->OpenCalls(n), 1) << n;
    EXPECT_EQ(sim_->CloseCalls(n), 1) << n;  // each device found is released again
    EXPECT_EQ(sim_->OpenHandles(n), 0) << n;
  }
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UsbSimTest, EightDevicesListAndNumberEightIsNeverTried) {
  sim_->SetDeviceCount(9);  // a ninth device is there, but beyond the numbers used
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 8);
  ASSERT_EQ(labels.size(), 8u);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(labels[n], "VORNUSB-" + std::to_string(n));
  EXPECT_EQ(sim_->OpenCalls(8), 0);
}

TEST_F(UsbSimTest, EachListingRebuildsTheList) {
  sim_->SetDeviceCount(3);
  Labels labels;
  ListUsbDevices(labels);
  EXPECT_EQ(ListUsbDevices(labels), 3);
  EXPECT_EQ(labels, (Labels{"VORNUSB-0", "VORNUSB-1", "VORNUSB-2"}));
  sim_->SetDeviceCount(1);
  EXPECT_EQ(ListUsbDevices(labels), 1);
  EXPECT_EQ(labels, (Labels{"VORNUSB-0"}));
  sim_->SetDeviceCount(0);
  EXPECT_EQ(ListUsbDevices(labels), 0);
  EXPECT_TRUE(labels.empty());
}

TEST_F(UsbSimTest, DevicesPresentAtLoadComeFromTheEnvironment) {
  // A fresh load reads the count, as a whole program started by a test would.
  sim_.reset();
  UnloadUsbLibrary();
  ASSERT_FALSE(rigs::LoadedUsbLibrary::IsLoaded());
  ::setenv("TILLVANE_SIM_USB_DEVICES", "2", 1);
  ASSERT_TRUE(LoadUsbLibrary());
  ::unsetenv("TILLVANE_SIM_USB_DEVICES");
  sim_ = std::make_unique<rigs::SimUsb>();
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 2);
  sim_->SetDeviceCount(5);
  sim_->Reset();  // back to the count at load
  EXPECT_EQ(ListUsbDevices(labels), 2);
}

TEST_F(UsbSimTest, AnUnopenableDeviceIsListedAndFailsTheOpen) {
  sim_->SetDeviceCount(2);
  sim_->ForceOpenResult(1, -1);
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 2);
  EXPECT_EQ(sim_->OpenCalls(2), 1);  // -1 does not end the listing
  EXPECT_FALSE(OpenUsbDevice(1));
  EXPECT_EQ(messages_.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
}

TEST_F(UsbSimTest, EveryByteValueReachesTheChosenDeviceUnchanged) {
  sim_->SetDeviceCount(3);
  ASSERT_TRUE(OpenAsLink(1));
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(Send(all), 0);
  EXPECT_EQ(Send(Bytes{0x0A}), 0);
  Bytes expected = all;
  expected.push_back(0x0A);
  EXPECT_EQ(sim_->Received(1), expected);
  EXPECT_TRUE(sim_->Received(0).empty());
  EXPECT_EQ(sim_->WriteCalls(1), 2);  // one library write per send
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UsbSimTest, AShortOrFailedWriteFailsTheSend) {
  sim_->SetDeviceCount(1);
  ASSERT_TRUE(OpenAsLink(0));
  sim_->SetWriteLimit(0, 3);
  EXPECT_EQ(Send(testing::FromHex("1B 40 1D 56 30 00 0A")), -1);
  EXPECT_EQ(sim_->Received(0), testing::FromHex("1B 40 1D"));
  EXPECT_EQ(Send(testing::FromHex("1B 40 1D")), 0);  // exactly the limit: all taken
  sim_->FailWrites(0, 0);
  EXPECT_EQ(Send(testing::FromHex("0A")), -1);
  sim_->FailWrites(0, -1);
  EXPECT_EQ(Send(testing::FromHex("0A")), -1);
}

TEST_F(UsbSimTest, ZeroBytesSucceedWhenTheLibraryReportsZero) {
  sim_->SetDeviceCount(1);
  ASSERT_TRUE(OpenAsLink(0));
  EXPECT_EQ(SendData(nullptr, 0), 0);
  EXPECT_EQ(sim_->WriteCalls(0), 1);
  EXPECT_TRUE(sim_->Received(0).empty());
}

TEST_F(UsbSimTest, MinusOneNullAndNumbersOutOfRangeFailTheOpenWithTheMessage) {
  sim_->SetDeviceCount(8);
  for (VornUsbHandle bad : {VornUsbHandle{-1}, VornUsbHandle{0}}) {
    sim_->ForceOpenResult(0, bad);
    EXPECT_FALSE(OpenUsbDevice(0)) << bad;
  }
  // No device chosen (an empty list gives -1) and numbers past the last: the library
  // is not asked.
  EXPECT_FALSE(OpenUsbDevice(-1));
  EXPECT_FALSE(OpenUsbDevice(8));
  EXPECT_EQ(sim_->OpenCalls(-1), 0);
  EXPECT_EQ(sim_->OpenCalls(8), 0);
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>(4, kUsbOpenFailed));
  // Nothing is open: a send on the USB link fails without reaching the library.
  Links().Kind = LinkKind::Usb;
  EXPECT_EQ(Send(Bytes{0x0A}), -1);
}

TEST_F(UsbSimTest, OpeningReleasesTheDeviceOpenBefore) {
  sim_->SetDeviceCount(2);
  ASSERT_TRUE(OpenAsLink(0));
  ASSERT_TRUE(OpenAsLink(1));
  EXPECT_EQ(sim_->CloseCalls(0), 1);
  EXPECT_EQ(sim_->OpenHandles(0), 0);
  // The same device again: released before it is opened anew.
  ASSERT_TRUE(OpenAsLink(1));
  EXPECT_EQ(sim_->CloseCalls(1), 1);
  EXPECT_EQ(sim_->OpenHandles(1), 1);
  EXPECT_EQ(Send(Bytes{0x0A}), 0);
  EXPECT_EQ(sim_->Received(1), Bytes{0x0A});
  // A failed opening leaves no device open, and the link fails from then on.
  sim_->ForceOpenResult(0, -1);
  EXPECT_FALSE(OpenUsbDevice(0));
  EXPECT_EQ(sim_->OpenHandles(1), 0);
  EXPECT_EQ(Send(Bytes{0x0A}), -1);
  EXPECT_EQ(sim_->WriteCalls(1), 1);
}

TEST_F(UsbSimTest, LoadingAgainKeepsTheOpenDeviceAndOneCopyOfTheLibrary) {
  sim_->SetDeviceCount(1);
  ASSERT_TRUE(OpenAsLink(0));
  ASSERT_TRUE(LoadUsbLibrary());  // a model change
  ASSERT_TRUE(LoadUsbLibrary());
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 1);
  EXPECT_EQ(Send(Bytes{0x1B, 0x40}), 0);
  EXPECT_EQ(sim_->Received(0), (Bytes{0x1B, 0x40}));
  // One unload lets go of the library entirely: the loads took no extra reference.
  EXPECT_EQ(sim_->StaleHandleCalls(), 0);
  sim_.reset();
  UnloadUsbLibrary();
  EXPECT_FALSE(rigs::LoadedUsbLibrary::IsLoaded());
  ASSERT_TRUE(LoadUsbLibrary());  // for TearDown
  sim_ = std::make_unique<rigs::SimUsb>();
}

TEST_F(UsbSimTest, UnloadingReleasesTheDeviceFirstAndSendsThenFail) {
  sim_->SetDeviceCount(1);
  ASSERT_TRUE(OpenAsLink(0));
  {
    // Holding our own reference keeps the simulated library readable after the unload.
    rigs::SimUsb held;
    sim_.reset();
    UnloadUsbLibrary();
    EXPECT_EQ(held.OpenHandles(0), 0);
    EXPECT_EQ(held.CloseCalls(0), 1);
    EXPECT_EQ(Send(Bytes{0x0A}), -1);
    EXPECT_EQ(held.WriteCalls(0), 0);
    EXPECT_EQ(held.StaleHandleCalls(), 0);
  }
  EXPECT_FALSE(rigs::LoadedUsbLibrary::IsLoaded());
  EXPECT_EQ(Send(Bytes{0x0A}), -1);
  Labels labels{"stale"};
  EXPECT_EQ(ListUsbDevices(labels), 0);
  EXPECT_TRUE(labels.empty());
  EXPECT_FALSE(OpenUsbDevice(0));
  EXPECT_EQ(messages_.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
  ASSERT_TRUE(LoadUsbLibrary());  // for TearDown
  sim_ = std::make_unique<rigs::SimUsb>();
}

TEST_F(UsbSimTest, AWorkerKeepsSendingWhileTheWindowListsAndLoadsAgain) {
  // A repeated job streams through the open device while the operator changes the
  // model, which loads the library again and rebuilds the device list.
  sim_->SetDeviceCount(2);
  ASSERT_TRUE(OpenAsLink(0));
  Bytes sent(3000);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 31);
  int failures = 0;
  std::thread worker([&] {
    for (uint8_t b : sent) failures += SendData(&b, 1) != 0;
  });
  Labels labels;
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(LoadUsbLibrary());
    EXPECT_EQ(ListUsbDevices(labels), 2);
  }
  worker.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(sim_->Received(0), sent);
  EXPECT_EQ(sim_->OpenHandles(0), 1);  // the listing never closed the open device
}

}  // namespace
}  // namespace tillvane
