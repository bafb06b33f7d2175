// The serial link over a pseudo-terminal with the simulated printer behind it.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "commands/posfun.h"
#include "commands/status_query.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "link/serial/serial_device.h"
#include "link/serial_port.h"
#include "session/printer_actions.h"
#include "tests/rigs/serial_printer.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using rigs::SimSerialPrinter;
using serial::SerialDevice;
using serial::SerialErrorKind;
using testing::Bytes;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    SleepMs(2);
  }
  return true;
}

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return b;
}

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Descriptors of this process open on `path`.
int OpenDescriptorsOn(const std::string& path) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == path) ++count;
  }
  return count;
}

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    std::string error;
    ASSERT_TRUE(printer_.Start(&error)) << error;
    printer_.SetStatusByte(0x12);
  }
  void TearDown() override { ResetLinkState(); }

  SerialSettings Settings(int stop = 0, int parity = 0, int flow = 1) const {
    SerialSettings s;
    s.device = printer_.device_path();
    s.baud_rate = BaudRate::Baud9600;
    s.stop_bits = static_cast<StopBits>(stop);
    s.parity = static_cast<Parity>(parity);
    s.flow = static_cast<FlowControl>(flow);
    return s;
  }

  // Opens the link on the printer as the port page does.
  void OpenLink(int flow = 1) {
    ASSERT_TRUE(OpenSerialPort(Settings(0, 0, flow))) << LastSerialOpenError();
    Links().Kind = LinkKind::Serial;
  }

  SerialDevice* Device() { return dynamic_cast<SerialDevice*>(Links().link.get()); }

  SimSerialPrinter printer_;
};

TEST_F(SerialLinkTest, OpensWithEveryChoiceOnADeviceWithoutModemLines) {
  for (int stop : {0, 1})
    for (int parity : {0, 1, 2})
      for (int flow : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << stop << " " << parity << " " << flow);
        ASSERT_TRUE(OpenSerialPort(Settings(stop, parity, flow))) << LastSerialOpenError();
        EXPECT_TRUE((OpenLinkKind() == LinkKind::Serial));
        EXPECT_EQ(LastSerialOpenError(), "");
        ASSERT_NE(Device(), nullptr);
        EXPECT_FALSE(Device()->has_modem_lines());
        EXPECT_FALSE(Device()->waits_for_dsr());
        EXPECT_EQ(Device()->write_multiplier_ms(), 1000u);
        EXPECT_EQ(Device()->write_constant_ms(), 200u);

        // What the terminal kept of the settings (a pseudo-terminal forces 8 data bits
        // and no parity, and stores the rest).
        termios t{};
        ASSERT_EQ(tcgetattr(Device()->fd(), &t), 0);
        EXPECT_EQ(cfgetospeed(&t), B9600);
        EXPECT_EQ(t.c_cflag & CSTOPB, stop ? tcflag_t{CSTOPB} : 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), flow == 0 ? tcflag_t{IXON | IXOFF} : 0u);
        EXPECT_EQ(t.c_cflag & CRTSCTS, flow == 1 ? tcflag_t{CRTSCTS} : 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
      }
}

TEST_F(SerialLinkTest, TheDeviceIsClaimedExclusivelyAndReleasedOnClose) {
  ASSERT_TRUE(OpenSerialPort(Settings()));
  int exclusive = 0;
  ASSERT_EQ(ioctl(Device()->fd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  if (geteuid() != 0) {
    // Another program cannot open the port while the link holds it.
    EXPECT_FALSE(SerialDevice::Open(printer_.device_path(), nullptr));
  }
  CloseSerialPort();
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  int fd = open(printer_.device_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(fd);
}

TEST_F(SerialLinkTest, OpeningTwiceClosesTheFirstHandleAndReopensThePort) {
  const std::string path = printer_.device_path();
  const int before = OpenDescriptorsOn(path);  // the printer's own
  ASSERT_TRUE(OpenSerialPort(Settings()));
  EXPECT_EQ(OpenDescriptorsOn(path), before + 1);
  ASSERT_TRUE(OpenSerialPort(Settings(1, 2, 0))) << LastSerialOpenError();
  EXPECT_EQ(OpenDescriptorsOn(path), before + 1);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(Send({0x0A}), 0);
  EXPECT_TRUE(printer_.WaitForReceived(1, 5000));
  CloseSerialPort();
  EXPECT_EQ(OpenDescriptorsOn(path), before);
}

TEST_F(SerialLinkTest, AMissingDeviceFailsAfterTheOldHandleWasClosed) {
  const std::string path = printer_.device_path();
  const int printer_only = OpenDescriptorsOn(path);
  ASSERT_TRUE(OpenSerialPort(Settings()));
  SerialSettings missing = Settings();
  missing.device = "/dev/pts/tillvane-no-such-port";
  EXPECT_FALSE(OpenSerialPort(missing));
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  EXPECT_NE(LastSerialOpenError().find(missing.device), std::string::npos);
  EXPECT_EQ(OpenDescriptorsOn(path), printer_only);

  missing.device.clear();
  EXPECT_FALSE(OpenSerialPort(missing));
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  // A file that is not a terminal opens but cannot be configured.
  testing::ScopedTempDir dir;
  testing::WriteFileBytes(dir.path() / "plain", {1});
  missing.device = (dir.path() / "plain").string();
  EXPECT_FALSE(OpenSerialPort(missing));
}

TEST_F(SerialLinkTest, ARefusedSettingFailsWithTheDeviceStillOpen) {
  SerialSettings s = Settings();
  s.baud_rate = static_cast<BaudRate>(230400);
  EXPECT_FALSE(OpenSerialPort(s));
  EXPECT_TRUE(
      (OpenLinkKind() == LinkKind::Serial));  // released by the next opening or the window's close
  EXPECT_NE(LastSerialOpenError().find("230400"), std::string::npos);
  EXPECT_TRUE(OpenSerialPort(Settings()));
}

TEST_F(SerialLinkTest, TimeoutsForUseRaiseTheConstant) {
  OpenLink();
  SetSerialTimeoutsForUse();
  EXPECT_EQ(Device()->write_multiplier_ms(), 1000u);
  EXPECT_EQ(Device()->write_constant_ms(), 1000u);
  // Without a serial device behind the handle there is nothing to change.
  CloseSerialPort();
  SetSerialTimeoutsForUse();
}

TEST_F(SerialLinkTest, PurgeDropsWaitingBytesAndTheQueueCountSeesThem) {
  OpenLink();
  const Bytes reply = {0x12, 0x00, 0xFF};
  ASSERT_TRUE(printer_.SendToLink(reply.data(), reply.size()));
  ASSERT_TRUE(WaitUntil([&] { return Device()->ReceiveQueueCount() == 3; }, 5000));
  EXPECT_TRUE(Device()->Purge());
  EXPECT_EQ(Device()->ReceiveQueueCount(), 0);
}

TEST_F(SerialLinkTest, CommunicationTestPassesWithAnAnsweringPrinterAndFailsWithASilentOne) {
  for (int flow : {0, 1}) {
    SCOPED_TRACE(flow);
    printer_.ClearReceived();
    printer_.SetMode(SimSerialPrinter::Mode::Answer);
    OpenLink(flow);
    EXPECT_EQ(TestSerialCommunication(), 0);
    EXPECT_EQ(printer_.Received(), (Bytes{0x1D, 0x72, 0x01}));
    EXPECT_EQ(printer_.status_requests(), 1);
    // The reply is left unread.
    EXPECT_TRUE(WaitUntil([&] { return Device()->ReceiveQueueCount() == 1; }, 2000));
  }
  // A silent printer: the stale reply of the last test is purged, not taken for an
  // answer, and the test gives up after its 4000 ms.
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  const uint32_t start = TickCount();
  EXPECT_EQ(TestSerialCommunication(), -1);
  EXPECT_GE(TickCount() - start, 4000u);
  EXPECT_TRUE(printer_.WaitForReceived(6, 5000));
  EXPECT_EQ(printer_.status_requests(), 2);
}

TEST_F(SerialLinkTest, AllByteValuesArriveUnchanged) {
  for (int flow : {0, 1}) {
    SCOPED_TRACE(flow);
    printer_.ClearReceived();
    printer_.SetMode(SimSerialPrinter::Mode::Silent);
    OpenLink(flow);
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(Send(all), 0);
    // And one byte per call, the command-file stream's way.
    for (uint8_t b : all) ASSERT_EQ(SendData(&b, 1), 0);
    ASSERT_TRUE(printer_.WaitForReceived(512, 5000));
    Bytes twice = all;
    twice.insert(twice.end(), all.begin(), all.end());
    EXPECT_EQ(printer_.Received(), twice);
  }
}

TEST_F(SerialLinkTest, LengthZeroSucceedsAndSendsNothing) {
  OpenLink();
  EXPECT_EQ(SendData(nullptr, 0), 0);
  EXPECT_EQ(Device()->Write(nullptr, 0), 0);
  EXPECT_EQ(Device()->Write(nullptr, 5), -1);
}

TEST_F(SerialLinkTest, XoffHoldsOutputUntilXon) {
  OpenLink(0);
  // The terminal acts on XOFF as it delivers input: once a byte sent after it is in
  // the receive queue, output has stopped.
  const uint8_t marker = 'M';
  ASSERT_TRUE(printer_.SendXoff());
  ASSERT_TRUE(printer_.SendToLink(&marker, 1));
  ASSERT_TRUE(WaitUntil([&] { return Device()->ReceiveQueueCount() == 1; }, 5000));
  Device()->SetWriteTimeouts(10, 100);
  const Bytes text = Pattern(10, 0x30);
  const auto start = Clock::now();
  EXPECT_EQ(Send(text), -1);
  EXPECT_GE(MsSince(start), 200);  // 10 x 10 + 100
  EXPECT_EQ(Device()->last_error().kind, SerialErrorKind::Timeout);
  EXPECT_EQ(printer_.received_count(), 0u);

  ASSERT_TRUE(printer_.SendXon());
  ASSERT_TRUE(printer_.SendToLink(&marker, 1));
  ASSERT_TRUE(WaitUntil([&] { return Device()->ReceiveQueueCount() == 2; }, 5000));
  EXPECT_EQ(Send(text), 0);
  ASSERT_TRUE(printer_.WaitForReceived(text.size(), 5000));
  EXPECT_EQ(printer_.Received(), text);
}

TEST_F(SerialLinkTest, APrinterThatStopsReadingTimesOutAndNothingIsResent) {
  printer_.SetMode(SimSerialPrinter::Mode::StopReading);
  OpenLink();
  SerialDevice* device = Device();

  // The terminal takes some 16 to 20 KiB, then the deadline ends the write.
  device->SetWriteTimeouts(0, 150);
  const Bytes first = Pattern(64 * 1024, 1);
  const int32_t taken = device->Write(first.data(), static_cast<int32_t>(first.size()));
  ASSERT_GT(taken, 0);
  ASSERT_LT(taken, static_cast<int32_t>(first.size()));
  EXPECT_EQ(device->last_error().kind, SerialErrorKind::Timeout);

  // Nothing more fits: -1 after multiplier x length + constant.
  device->SetWriteTimeouts(25, 100);
  const Bytes small = Pattern(8, 2);
  auto start = Clock::now();
  EXPECT_EQ(device->Write(small.data(), static_cast<int32_t>(small.size())), -1);
  EXPECT_GE(MsSince(start), 300);

  device->SetWriteTimeouts(0, 150);
  EXPECT_EQ(Send(Pattern(64 * 1024, 3)), -1);

  // Reading again: what was taken arrives once, in order, then the next send.
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  device->SetWriteTimeouts(1000, 1000);
  const Bytes last = Pattern(100, 4);
  EXPECT_EQ(Send(last), 0);
  Bytes expected(first.begin(), first.begin() + taken);
  expected.insert(expected.end(), last.begin(), last.end());
  ASSERT_TRUE(printer_.WaitForReceived(expected.size(), 10000));
  SleepMs(50);
  const Bytes got = printer_.Received();
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST_F(SerialLinkTest, AnUnpluggedPrinterFailsTheNextWriteAtOnce) {
  OpenLink();
  Device()->SetWriteTimeouts(1000, 60000);
  printer_.CloseMaster();
  // The copy in the command file is made all the same.
  testing::ScopedTempDir dir;
  Links().PrintToFile = true;
  const auto start = Clock::now();
  EXPECT_EQ(Send({0x0A}), -1);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), Bytes{0x0A});
  Links().PrintToFile = false;
  EXPECT_EQ(Device()->last_error().kind, SerialErrorKind::DeviceGone);
  const Bytes block = Pattern(4096, 5);
  EXPECT_EQ(Device()->Write(block.data(), static_cast<int32_t>(block.size())), -1);
  EXPECT_LT(MsSince(start), 30000);  // far below the deadline it did not wait for
}

TEST_F(SerialLinkTest, TheAnswersOfGsR1AndDleEotAreReadOverThePort) {
  printer_.SetStatusByte(0x0C);
  printer_.SetRealTimeStatus(1, 0x12);
  printer_.SetRealTimeStatus(2, 0x32);
  printer_.SetRealTimeStatus(3, std::nullopt);
  printer_.SetRealTimeStatus(4, 0xFF);
  OpenLink();
  std::optional<uint8_t> answer;
  EXPECT_EQ(TestCommunication(&answer), 0);
  EXPECT_EQ(answer, std::optional<uint8_t>(0x0C));
  EXPECT_EQ(PaperStateText(DecodePaperStatus(*answer)), std::string("缺纸"));

  StatusAnswers answers;
  ASSERT_TRUE(QueryPrinterStatus(&answers));
  EXPECT_EQ(answers[0], std::optional<uint8_t>(0x12));
  EXPECT_EQ(answers[1], std::optional<uint8_t>(0x32));
  EXPECT_FALSE(answers[2].has_value());
  EXPECT_EQ(answers[3], std::optional<uint8_t>(0xFF));
  EXPECT_EQ(printer_.realtime_requests(), 4);
  const std::string report = StatusReport(answers);
  EXPECT_NE(report.find("缺纸停止打印 (printing stopped for paper end)"), std::string::npos);
  EXPECT_NE(report.find("DLE EOT 4: 0xFF  11111111  无法识别 (not understood)"), std::string::npos)
      << report;

  // A silent printer: each request waits its 500 ms and none is answered.
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  const uint32_t start = TickCount();
  ASSERT_TRUE(QueryPrinterStatus(&answers));
  EXPECT_GE(TickCount() - start, 2000u);
  for (const auto& a : answers) EXPECT_FALSE(a.has_value());
}

}  // namespace
}  // namespace tillvane
