// Our real USB library, with pseudo-terminals standing in for /dev/usb/lp<n>.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "link/send_data.h"
#include "link/usb_link.h"
#include "tests/rigs/usb_rig.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using Labels = std::vector<std::string>;
namespace fs = std::filesystem;

class UsbRealTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    ASSERT_TRUE(LoadUsbLibrary());
    lib_ = std::make_unique<rigs::LoadedUsbLibrary>();
    set_pattern_ = lib_->Get<VornUsbSetDevicePatternFn>("VornUsbSetDevicePattern");
    set_timeouts_ = lib_->Get<VornUsbSetTimeoutsFn>("VornUsbSetTimeouts");
    open_ = lib_->Get<VornOpenDeviceXFn>("OpenDeviceX");
    close_ = lib_->Get<VornCloseDeviceFn>("CloseDevice");
    write_ = lib_->Get<VornUWriteFn>("uWrite");
    read_ = lib_->Get<VornUReadFn>("uRead");
    ASSERT_NE(set_pattern_, nullptr) << "the loaded USB library is not ours";
    ASSERT_NE(set_timeouts_, nullptr);
    pattern_ = (dir_.path() / "lp%d").string();
    ASSERT_EQ(set_pattern_(pattern_.c_str()), 0);
  }
  void TearDown() override {
    if (set_pattern_ != nullptr) set_pattern_(nullptr);
    if (set_timeouts_ != nullptr) set_timeouts_(5000, 2000);
    lib_.reset();
    UnloadUsbLibrary();
    ResetLinkState();
  }

  fs::path Node(int n) const { return dir_.path() / ("lp" + std::to_string(n)); }

  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
  std::unique_ptr<rigs::LoadedUsbLibrary> lib_;
  std::string pattern_;
  VornUsbSetDevicePatternFn set_pattern_ = nullptr;
  VornUsbSetTimeoutsFn set_timeouts_ = nullptr;
  VornOpenDeviceXFn open_ = nullptr;
  VornCloseDeviceFn close_ = nullptr;
  VornUWriteFn write_ = nullptr;
  VornUReadFn read_ = nullptr;
};

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

TEST_F(UsbRealTest, EveryByteReachesThePrinterThroughTheLink) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 1);
  EXPECT_EQ(labels, Labels{"VORNUSB-0"});
  ASSERT_TRUE(OpenUsbDevice(0));
  Links().Kind = LinkKind::Usb;

  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(Send(all), 0);
  EXPECT_EQ(printer.Read(all.size(), 5s), all);

  // More than the terminal buffers at once: the library waits for the printer and
  // goes on until every byte is taken.
  Bytes big(256 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 256);
  Bytes got;
  std::thread reader([&] { got = printer.Read(big.size(), 20s); });
  EXPECT_EQ(Send(big), 0);
  reader.join();
  EXPECT_EQ(got, big);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UsbRealTest, ListingStopsAtTheFirstMissingNode) {
  rigs::PtyPrinter p0(dir_.path(), 0), p1(dir_.path(), 1), p3(dir_.path(), 3);
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 2);
  EXPECT_EQ(labels, (Labels{"VORNUSB-0", "VORNUSB-1"}));
  // Listing released every node again: each opens once more.
  for (int n : {0, 1, 3}) {
    VornUsbHandle h = open_(n);
    EXPECT_GT(h, 2) << n;
    EXPECT_EQ(close_(h), 0);
  }
}

TEST_F(UsbRealTest, MissingNodeIsNullAndUnopenableNodeIsMinusOne) {
  EXPECT_EQ(open_(0), VORN_USB_NO_DEVICE);
  EXPECT_EQ(open_(-1), VORN_USB_NO_DEVICE);
  // A printer unplugged behind its link: the link dangles.
  fs::create_symlink("/nonexistent/pts/99", Node(1));
  EXPECT_EQ(open_(1), VORN_USB_NO_DEVICE);

  fs::create_directory(Node(0));  // there, but not a device that opens for writing
  EXPECT_EQ(open_(0), VORN_USB_OPEN_FAILED);
  Labels labels;
  EXPECT_EQ(ListUsbDevices(labels), 1);  // listed: choosing it tells the operator
  EXPECT_FALSE(OpenUsbDevice(0));
  EXPECT_EQ(messages_.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
}

TEST_F(UsbRealTest, AHandleIsNeverAStandardStream) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  int saved = ::dup(0);
  ASSERT_GE(saved, 0);
  ::close(0);  // the next descriptor would be 0, the null handle
  VornUsbHandle h = open_(0);
  ::dup2(saved, 0);
  ::close(saved);
  EXPECT_GT(h, 2);
  const uint8_t esc_at[] = {0x1B, 0x40};
  EXPECT_EQ(write_(h, 0, esc_at, 2), 2);
  EXPECT_EQ(printer.Read(2, 5s), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(close_(h), 0);
  // Null, -1 and the standard streams are never closed as handles.
  for (VornUsbHandle bad : {VornUsbHandle{0}, VornUsbHandle{-1}, VornUsbHandle{1}}) {
    EXPECT_EQ(close_(bad), -1) << bad;
  }
  EXPECT_NE(::fcntl(1, F_GETFD), -1);
}

TEST_F(UsbRealTest, AStalledPrinterGivesTheCountTakenAfterTheTimeout) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  set_timeouts_(200, 0);
  VornUsbHandle h = open_(0);
  ASSERT_GT(h, 2);
  Bytes big(256 * 1024, 0x55);  // nobody reads: the terminal fills and stays full
  int32_t taken = write_(h, 0, big.data(), static_cast<int32_t>(big.size()));
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, static_cast<int32_t>(big.size()));
  EXPECT_EQ(printer.Drain(200ms).size(), static_cast<size_t>(taken));
  EXPECT_EQ(close_(h), 0);

  // Through the link, the short count is a failed send.
  ASSERT_TRUE(OpenUsbDevice(0));
  Links().Kind = LinkKind::Usb;
  EXPECT_EQ(Send(big), -1);
}

TEST_F(UsbRealTest, APrinterThatWentAwayFailsTheWrite) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  ASSERT_TRUE(OpenUsbDevice(0));
  Links().Kind = LinkKind::Usb;
  printer.CloseMaster();
  EXPECT_EQ(Send(Bytes{0x0A}), -1);
}

TEST_F(UsbRealTest, BadArgumentsTakeNothing) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  VornUsbHandle h = open_(0);
  ASSERT_GT(h, 2);
  const uint8_t lf = 0x0A;
  EXPECT_EQ(write_(h, 1, &lf, 1), 0);  // pipe 0 is the only one
  EXPECT_EQ(write_(h, 0, &lf, -1), 0);
  EXPECT_EQ(write_(h, 0, nullptr, 1), 0);
  EXPECT_EQ(write_(h, 0, nullptr, 0), 0);
  EXPECT_EQ(write_(0, 0, &lf, 1), 0);
  EXPECT_EQ(write_(-1, 0, &lf, 1), 0);
  EXPECT_TRUE(printer.Drain(50ms).empty());
  EXPECT_EQ(close_(h), 0);
}

TEST_F(UsbRealTest, ReadsWhatThePrinterAnswersWithinTheTimeout) {
  rigs::PtyPrinter printer(dir_.path(), 0);
  set_timeouts_(0, 100);
  VornUsbHandle h = open_(0);
  ASSERT_GT(h, 2);
  uint8_t buffer[8] = {};
  EXPECT_EQ(read_(h, 0, buffer, sizeof buffer), 0);  // silent printer
  printer.Answer({0x12, 0x00, 0xFF});
  int32_t n = read_(h, 0, buffer, sizeof buffer);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(Bytes(buffer, buffer + n), (Bytes{0x12, 0x00, 0xFF}));
  EXPECT_EQ(close_(h), 0);
}

TEST_F(UsbRealTest, DevicePatternsNeedExactlyOneNumber) {
  for (const char* bad : {"/tmp/lp", "/tmp/lp%d%d", "/tmp/%s%d", "/tmp/lp%x", "/tmp/lp%"}) {
    EXPECT_EQ(set_pattern_(bad), -1) << bad;
  }
  std::string too_long(300, 'a');
  too_long += "%d";
  EXPECT_EQ(set_pattern_(too_long.c_str()), -1);
  // The rejected patterns changed nothing.
  rigs::PtyPrinter printer(dir_.path(), 2);
  VornUsbHandle h = open_(2);
  EXPECT_GT(h, 2);
  EXPECT_EQ(close_(h), 0);
  // A literal percent sign is fine.
  fs::create_directory(dir_.path() / "50%");
  rigs::PtyPrinter other(dir_.path() / "50%", 4);
  ASSERT_EQ(set_pattern_((dir_.path() / "50%%" / "lp%d").c_str()), 0);
  h = open_(4);
  EXPECT_GT(h, 2);
  EXPECT_EQ(close_(h), 0);
}

}  // namespace
}  // namespace tillvane
