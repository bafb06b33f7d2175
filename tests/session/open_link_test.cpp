// OpenAndProve for every link kind and every way it can fail, against the rigs.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/log.h"
#include "config/models.h"
#include "link/link_state.h"
#include "link/network_link.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "link/serial/serial_device.h"
#include "link/usb_link.h"
#include "session/link_kinds.h"
#include "session/open_link.h"
#include "session/remedy.h"
#include "tests/rigs/cups_rig.h"
#include "tests/rigs/network_printer.h"
#include "tests/rigs/parallel_sim.h"
#include "tests/rigs/serial_printer.h"
#include "tests/rigs/usb_rig.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using ::testing::HasSubstr;
using Sim = rigs::SimulatedParallelPrinter;
using testing::Bytes;

// The lines the core logs while it lives.
class LogRecorder {
 public:
  LogRecorder() {
    previous_ = SetLogSink([this](LogCategory category, LogLevel level, std::string_view text) {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::string(LogCategoryName(category)) +
                       (level == LogLevel::Warning ? " warning: " : " info: ") + std::string(text));
    });
  }
  ~LogRecorder() { SetLogSink(std::move(previous_)); }
  std::string All() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const std::string& l : lines_) all += l + "\n";
    return all;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  LogSink previous_;
};

class OpenLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    std::string error;
    ASSERT_TRUE(printer_.Start(&error)) << error;
    PortMap ports;
    ports.com[0] = printer_.device_path();
    ports.com[1] = (dir_.path() / "no-such-tty").string();
    SetPortMap(ports);
  }
  void TearDown() override {
    CloseSerialPort();
    CloseNetworkPrinter();
    if (Links().Kind == LinkKind::Parallel) CloseParallel();
    UnloadUsbLibrary();
    SetPortMap(PortMap{});
    ResetLinkState();
  }

  static LinkChoice Choice(LinkKind kind) {
    LinkChoice c;
    c.kind = kind;
    c.model_name = "TM-80";
    return c;
  }

  rigs::SimSerialPrinter printer_;
  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
  LogRecorder log_;
};

// ---------------------------------------------------------------------------------
// Serial.

TEST_F(OpenLinkTest, SerialOpensProvesAndGetsTheDeadlineForUse) {
  LinkResult r = OpenAndProve(Choice(LinkKind::Serial));
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_TRUE(r.Completed());
  EXPECT_EQ(r.message, nullptr);
  EXPECT_TRUE(r.reason.empty());
  EXPECT_EQ(Links().Kind, LinkKind::Serial);
  ASSERT_TRUE(printer_.WaitForReceived(4, 2000));
  EXPECT_EQ(printer_.Received(), (Bytes{0x1D, 0x72, 0x01, 0x0A}));
  auto* device = dynamic_cast<serial::SerialDevice*>(Links().link.get());
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->write_constant_ms(), serial::kWriteConstantInUseMs);
  EXPECT_THAT(log_.All(), HasSubstr("link info: serial link opened and proven"));
}

TEST_F(OpenLinkTest, APassedSerialTestKeepsThePrintersAnswerAndAnyBytePasses) {
  for (uint8_t status : {uint8_t{0x00}, uint8_t{0x03}, uint8_t{0x0C}, uint8_t{0xFF}}) {
    printer_.SetStatusByte(status);
    LinkResult r = OpenAndProve(Choice(LinkKind::Serial));
    EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
    EXPECT_EQ(r.status_answer, std::optional<uint8_t>(status));
  }
  // A failed test has no answer to show.
  printer_.SetMode(rigs::SimSerialPrinter::Mode::Silent);
  EXPECT_EQ(OpenAndProve(Choice(LinkKind::Serial)).status_answer, std::nullopt);
}

TEST_F(OpenLinkTest, SerialLineSettingsReachTheDevice) {
  LinkChoice c = Choice(LinkKind::Serial);
  c.serial.baud_rate = BaudRate::Baud19200;
  c.serial.stop_bits = StopBits::Two;
  c.serial.flow = FlowControl::XonXoff;
  ASSERT_EQ(OpenAndProve(c).outcome, LinkOutcome::Opened);
  auto* device = dynamic_cast<serial::SerialDevice*>(Links().link.get());
  ASSERT_NE(device, nullptr);
  termios t{};
  ASSERT_EQ(tcgetattr(device->fd(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_iflag & IXON, 0u);
}

TEST_F(OpenLinkTest, SerialDeviceMissingClearsTheLinkWithTheSystemsReason) {
  ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
  LinkChoice c = Choice(LinkKind::Serial);
  c.com_port = "COM2";
  LinkResult r = OpenAndProve(c);
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_FALSE(r.Completed());
  EXPECT_STREQ(r.message, kSerialOpenFailed);
  EXPECT_EQ(Links().Kind, LinkKind::None);  // even after a working link
  EXPECT_THAT(r.reason, HasSubstr("COM2: open " + (dir_.path() / "no-such-tty").string() +
                                  ": No such file or directory"));
  EXPECT_THAT(log_.All(), HasSubstr("link warning: serial link, opening failed: " + r.reason));
}

TEST_F(OpenLinkTest, SerialNameOutsideTheListOpensNothing) {
  LinkChoice c = Choice(LinkKind::Serial);
  c.com_port = "COM9";
  LinkResult r = OpenAndProve(c);
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_STREQ(r.message, kSerialOpenFailed);
  EXPECT_THAT(r.reason, HasSubstr("\"COM9\" is no serial port name"));
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
}

TEST_F(OpenLinkTest, SerialRefusedSettingFailsTheOpening) {
  LinkChoice c = Choice(LinkKind::Serial);
  c.serial.baud_rate = static_cast<BaudRate>(230400);
  LinkResult r = OpenAndProve(c);
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_THAT(r.reason, HasSubstr("230400"));
  EXPECT_EQ(Links().Kind, LinkKind::None);
}

TEST_F(OpenLinkTest, SilentSerialPrinterFailsTheTestAfterItsWait) {
  printer_.SetMode(rigs::SimSerialPrinter::Mode::Silent);
  LinkResult r = OpenAndProve(Choice(LinkKind::Serial));
  EXPECT_EQ(r.outcome, LinkOutcome::TestFailed);
  EXPECT_STREQ(r.message, kPortTestFailed);
  EXPECT_EQ(Links().Kind, LinkKind::None);
  EXPECT_EQ(r.reason, "no answer to the status request (GS r 1) within 4000 ms");
  // The line feed is never sent after a failed status request.
  EXPECT_EQ(printer_.Received(), (Bytes{0x1D, 0x72, 0x01}));
}

// ---------------------------------------------------------------------------------
// Parallel, against the simulated port I/O library.

class ParallelOpenLinkTest : public OpenLinkTest {
 protected:
  void SetUp() override {
    OpenLinkTest::SetUp();
    ASSERT_TRUE(hold_.ok());
    Sim::Reset();
  }
  Sim::Hold hold_;
};

TEST_F(ParallelOpenLinkTest, Lpt1OpensAndFeedsALine) {
  LinkChoice c = Choice(LinkKind::Parallel);
  LinkResult r = OpenAndProve(c);
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_EQ(r.status_answer, std::nullopt);  // a port that cannot answer
  EXPECT_EQ(Links().Kind, LinkKind::Parallel);
  EXPECT_EQ(ParallelPortNumber(), 1);
  EXPECT_EQ(ParallelPortBase(), 0x378);
  EXPECT_EQ(Sim::Printed(), (Bytes{0x0A}));
}

TEST_F(ParallelOpenLinkTest, Lpt2UsesItsOwnBase) {
  Sim::SetBase(0x278);
  LinkChoice c = Choice(LinkKind::Parallel);
  c.lpt_index = 1;
  ASSERT_EQ(OpenAndProve(c).outcome, LinkOutcome::Opened);
  EXPECT_EQ(ParallelPortBase(), 0x278);
  EXPECT_EQ(Sim::Printed(), (Bytes{0x0A}));
}

TEST_F(ParallelOpenLinkTest, Lpt3AndLpt4AreRefusedWithoutTouchingAPortAndKeepTheLink) {
  ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
  for (int32_t index : {2, 3}) {
    LinkChoice c = Choice(LinkKind::Parallel);
    c.lpt_index = index;
    LinkResult r = OpenAndProve(c);
    EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
    EXPECT_STREQ(r.message, kParallelOpenFailed);
    EXPECT_EQ(r.reason, "LPT" + std::to_string(index + 1) + " has no I/O base address");
    EXPECT_EQ(Links().Kind, LinkKind::Serial);  // the link open before stays
  }
  EXPECT_EQ(Sim::LowAccesses(), 0u);
  EXPECT_TRUE(Sim::Printed().empty());
}

TEST_F(ParallelOpenLinkTest, PaperEndFailsTheTestAndClearsTheLink) {
  Sim::SetPaperEnd(true);
  LinkResult r = OpenAndProve(Choice(LinkKind::Parallel));
  EXPECT_EQ(r.outcome, LinkOutcome::TestFailed);
  EXPECT_STREQ(r.message, kPortTestFailed);
  EXPECT_EQ(Links().Kind, LinkKind::None);
  EXPECT_THAT(r.reason, HasSubstr("line feed: LPT1 (0x378): the printer reported paper end"));
}

// ---------------------------------------------------------------------------------
// USB, against the simulated USB library.

class UsbOpenLinkTest : public OpenLinkTest {
 protected:
  void SetUp() override {
    OpenLinkTest::SetUp();
    ASSERT_TRUE(LoadUsbLibrary());
    sim_ = std::make_unique<rigs::SimUsb>();
    sim_->Reset();
    sim_->SetDeviceCount(2);
  }
  void TearDown() override {
    sim_.reset();
    OpenLinkTest::TearDown();
  }
  static LinkChoice Usb(int32_t device) {
    LinkChoice c = Choice(LinkKind::Usb);
    c.usb_device = device;
    return c;
  }
  std::unique_ptr<rigs::SimUsb> sim_;
};

TEST_F(UsbOpenLinkTest, DeviceOpensAndFeedsALine) {
  LinkResult r = OpenAndProve(Usb(1));
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_EQ(Links().Kind, LinkKind::Usb);
  EXPECT_EQ(sim_->Received(1), (Bytes{0x0A}));
  EXPECT_TRUE(sim_->Received(0).empty());
}

TEST_F(UsbOpenLinkTest, DeviceThatWillNotOpenShowsBothMessagesAndKeepsTheLink) {
  ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
  sim_->ForceOpenResult(0, VORN_USB_OPEN_FAILED);
  LinkResult r = OpenAndProve(Usb(0));
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_STREQ(r.message, kUsbPortOpenFailed);
  EXPECT_EQ(messages_.Messages(), (std::vector<std::string>{kUsbOpenFailed}));
  EXPECT_THAT(r.reason, HasSubstr("libVornUsbInt.so: OpenDeviceX returned -1 for device 0"));
  EXPECT_EQ(Links().Kind, LinkKind::Serial);
}

TEST_F(UsbOpenLinkTest, NoDeviceChosenAttemptsNone) {
  LinkResult r = OpenAndProve(Usb(-1));
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_EQ(r.reason, "no USB device chosen");
  EXPECT_EQ(sim_->OpenCalls(0), 0);
}

TEST_F(UsbOpenLinkTest, DeviceThatTakesNoByteFailsTheTest) {
  sim_->SetWriteLimit(0, 0);
  LinkResult r = OpenAndProve(Usb(0));
  EXPECT_EQ(r.outcome, LinkOutcome::TestFailed);
  EXPECT_STREQ(r.message, kPortTestFailed);
  EXPECT_EQ(Links().Kind, LinkKind::None);
  EXPECT_THAT(r.reason, HasSubstr("line feed: libVornUsbInt.so: uWrite took 0 of 1 bytes"));
}

TEST_F(UsbOpenLinkTest, LibraryUnloadedFailsTheOpening) {
  sim_.reset();
  UnloadUsbLibrary();
  LinkResult r = OpenAndProve(Usb(0));
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_EQ(r.reason, "libVornUsbInt.so is not loaded");
}

// ---------------------------------------------------------------------------------
// Print queue, against a private CUPS daemon.

class QueueOpenLinkTest : public OpenLinkTest {
 protected:
  void SetUp() override {
    OpenLinkTest::SetUp();
    ASSERT_TRUE(rig_.Ready()) << rig_.Error();
  }
  static LinkChoice Queue(const std::string& name) {
    LinkChoice c = Choice(LinkKind::PrintQueue);
    c.queue_name = name;
    return c;
  }
  rigs::CupsRig rig_;
};

TEST_F(QueueOpenLinkTest, QueueOpensAndPrintsOneLineFeedJob) {
  const std::filesystem::path out = rig_.AddRawQueue("Vorn-102-a");
  ASSERT_FALSE(out.empty()) << rig_.Error();
  LinkResult r = OpenAndProve(Queue("Vorn-102-a"));
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_EQ(Links().Kind, LinkKind::PrintQueue);
  ASSERT_TRUE(rig_.WaitForOutput(out, 1, 10000));
  EXPECT_EQ(rigs::ReadAll(out), (Bytes{0x0A}));
  EXPECT_EQ(rig_.JobCount("Vorn-102-a"), 1);
}

TEST_F(QueueOpenLinkTest, MissingQueueFailsSilentlyWithTheServersWords) {
  ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
  LinkResult r = OpenAndProve(Queue("Vorn-102-gone"));
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_EQ(r.message, nullptr);  // no message for this link
  EXPECT_THAT(r.reason, HasSubstr("cupsGetNamedDest"));
  EXPECT_THAT(r.reason, HasSubstr("Vorn-102-gone"));
  EXPECT_EQ(Links().Kind, LinkKind::Serial);
  EXPECT_THAT(log_.All(), HasSubstr("print queue link, opening failed"));
}

TEST_F(QueueOpenLinkTest, RejectingQueueCountsAsOpenedAndTheLogSaysWhy) {
  ASSERT_FALSE(rig_.AddRawQueue("Vorn-102-r").empty()) << rig_.Error();
  ASSERT_TRUE(rig_.RejectJobs("Vorn-102-r"));
  LinkResult r = OpenAndProve(Queue("Vorn-102-r"));
  EXPECT_EQ(r.outcome, LinkOutcome::Opened);
  EXPECT_EQ(Links().Kind, LinkKind::PrintQueue);
  EXPECT_THAT(log_.All(), HasSubstr("print queue: the opening line feed was not printed"));
}

TEST_F(QueueOpenLinkTest, EveryApplyClosesTheOpenQueueFirst) {
  ASSERT_FALSE(rig_.AddRawQueue("Vorn-102-a").empty()) << rig_.Error();
  ASSERT_EQ(OpenAndProve(Queue("Vorn-102-a")).outcome, LinkOutcome::Opened);
  ASSERT_TRUE((OpenLinkKind() == LinkKind::PrintQueue));
  LinkResult r = OpenAndProve(Choice(LinkKind::None));
  EXPECT_EQ(r.outcome, LinkOutcome::NothingChosen);
  EXPECT_TRUE(r.Completed());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(Links().Kind, LinkKind::PrintQueue);  // unchanged; its sends now fail
}

// ---------------------------------------------------------------------------------
// Network printer, against the simulated one on the loopback interface.

class NetworkOpenLinkTest : public OpenLinkTest {
 protected:
  void SetUp() override {
    OpenLinkTest::SetUp();
    std::string error;
    ASSERT_TRUE(net_.Start(rigs::SimNetworkPrinter::Family::IPv4, 0, &error)) << error;
  }
  void TearDown() override {
    OpenLinkTest::TearDown();
    net_.Stop();
  }
  LinkChoice Network() { return Network(net_.Address()); }
  static LinkChoice Network(const std::string& address) {
    LinkChoice c = Choice(LinkKind::Network);
    c.network_address = address;
    c.network_timeouts.connect_ms = 1000;
    return c;
  }
  rigs::SimNetworkPrinter net_;
};

TEST_F(NetworkOpenLinkTest, OpensProvesAndKeepsThePapersAnswer) {
  net_.SetPaperStatus(0x0C);
  LinkResult r = OpenAndProve(Network());
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_EQ(r.message, nullptr);
  EXPECT_EQ(r.status_answer, std::optional<uint8_t>(0x0C));
  EXPECT_EQ(Links().Kind, LinkKind::Network);
  ASSERT_TRUE(net_.WaitForReceived(4, 2000));
  EXPECT_EQ(net_.Received(), (Bytes{0x1D, 0x72, 0x01, 0x0A}));
  EXPECT_THAT(log_.All(), HasSubstr("link info: network link opened and proven"));

  // An IPv6 printer at its bracketed address and port.
  rigs::SimNetworkPrinter v6;
  std::string error;
  ASSERT_TRUE(v6.Start(rigs::SimNetworkPrinter::Family::IPv6, 0, &error)) << error;
  ASSERT_EQ(v6.Address().front(), '[');
  r = OpenAndProve(Network(v6.Address()));
  EXPECT_EQ(r.outcome, LinkOutcome::Opened) << r.reason;
  EXPECT_TRUE(v6.WaitForReceived(4, 2000));
}

TEST_F(NetworkOpenLinkTest, EachFailureGivesItsMessageAndTheSystemsReasonAndClearsTheLink) {
  struct Case {
    const char* what;
    std::function<void()> misbehave;
    std::string address;
    const char* message;
    const char* reason;  // a part of the reason
  };
  const Case cases[] = {
      {"refusing", [&] { net_.SetRefusing(true); }, net_.Address(), kNetworkOpenFailed,
       "busy with another host"},
      {"taking no connection", [&] { net_.SetUnresponsive(true); }, net_.Address(),
       kNetworkOpenFailed, "deadline passed"},
      {"a name that does not resolve", [] {}, "printer.invalid:9100", kNetworkOpenFailed,
       "getaddrinfo"},
      {"a port out of range", [] {}, "127.0.0.1:99999", kNetworkOpenFailed, "65535"},
      {"no address", [] {}, "", kNetworkOpenFailed, "address"},
      {"never answering", [&] { net_.SetSilent(true); }, net_.Address(), kPortTestFailed,
       "no answer to the status request (GS r 1) within 4000 ms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Every failure clears the link, even after a working one.
    ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
    c.misbehave();
    LinkResult r = OpenAndProve(Network(c.address));
    EXPECT_FALSE(r.Completed());
    EXPECT_STREQ(r.message, c.message);
    EXPECT_THAT(r.reason, HasSubstr(c.reason));
    EXPECT_EQ(r.status_answer, std::nullopt);
    EXPECT_EQ(Links().Kind, LinkKind::None);
    EXPECT_THAT(log_.All(), HasSubstr("network link, "));
    net_.SetRefusing(false);
    net_.SetUnresponsive(false);
    net_.SetSilent(false);
  }
  // The printer well again, the link opens.
  EXPECT_EQ(OpenAndProve(Network()).outcome, LinkOutcome::Opened);
}

TEST_F(NetworkOpenLinkTest, ApplyingAnotherKindEndsTheConnectionInOrder) {
  ASSERT_EQ(OpenAndProve(Network()).outcome, LinkOutcome::Opened);
  ASSERT_TRUE(net_.WaitForReceived(4, 2000));
  ASSERT_EQ(OpenAndProve(Choice(LinkKind::Serial)).outcome, LinkOutcome::Opened);
  EXPECT_NE(OpenLinkKind(), LinkKind::Network);
  EXPECT_TRUE(net_.WaitForNoConnection(3000));
  EXPECT_EQ(net_.orderly_closes(), 1);
}

// ---------------------------------------------------------------------------------
// Rules common to every kind.

TEST_F(OpenLinkTest, OnlyTheModelVorn101WithdrawsTheCutterChoices) {
  for (const char* model : {"Vorn-101", "Vorn-1010", "vorn-101", "TM-80", ""}) {
    LinkChoice c = Choice(LinkKind::None);
    c.model_name = model;
    EXPECT_EQ(OpenAndProve(c).withdraw_cutter_choices, std::string(model) == "Vorn-101") << model;
  }
  // Whatever the opening comes to.
  LinkChoice failing = Choice(LinkKind::Serial);
  failing.com_port = "COM2";
  failing.model_name = "Vorn-101";
  EXPECT_TRUE(OpenAndProve(failing).withdraw_cutter_choices);
}

TEST(LinkKindTable, OneRowPerKindWithItsJobBlockSize) {
  std::vector<LinkKind> kinds;
  for (const LinkKindRow& row : LinkKinds()) {
    EXPECT_NE(row.open, nullptr) << row.name;
    EXPECT_NE(row.prove, nullptr) << row.name;
    EXPECT_GE(row.job_block_size, 1) << row.name;
    EXPECT_EQ(FindLinkKind(row.kind), &row);
    kinds.push_back(row.kind);
  }
  EXPECT_EQ(kinds,
            (std::vector<LinkKind>{LinkKind::Serial, LinkKind::Parallel, LinkKind::Usb,
                                   LinkKind::PrintQueue, LinkKind::Virtual, LinkKind::Network}));
  EXPECT_EQ(FindLinkKind(LinkKind::None), nullptr);
  EXPECT_EQ(FindLinkKind(static_cast<LinkKind>(7)), nullptr);
  EXPECT_EQ(JobBlockSize(LinkKind::Usb), 1024);
  EXPECT_EQ(JobBlockSize(LinkKind::Serial), 1);
  EXPECT_EQ(JobBlockSize(LinkKind::Parallel), 1);
  EXPECT_EQ(JobBlockSize(LinkKind::PrintQueue), 1);
  EXPECT_EQ(JobBlockSize(LinkKind::Virtual), 1);
  EXPECT_EQ(JobBlockSize(LinkKind::Network), 4096);
  EXPECT_EQ(JobBlockSize(LinkKind::None), 0);
  // Only the network link, whose blocks pass in microseconds, reports its progress
  // less often than every block.
  for (const LinkKindRow& row : LinkKinds())
    EXPECT_EQ(row.job_progress_throttled, row.kind == LinkKind::Network) << row.name;
}

// A kind of the test's own shows the opening's rule for LinkKind, exceptions included.
constexpr LinkKind kScripted = static_cast<LinkKind>(9);
constexpr LinkKind kNotProven = static_cast<LinkKind>(-2);
struct ScriptedKind {
  static inline LinkStep open_result;
  static inline LinkStep prove_result;
  static inline bool throw_in_open = false;
  static inline bool throw_in_prove = false;
  static inline LinkKind kind_seen_by_prove = kNotProven;
  static LinkStep Open(const LinkChoice&) {
    if (throw_in_open) throw std::runtime_error("device table corrupt");
    return open_result;
  }
  static LinkStep Prove() {
    kind_seen_by_prove = Links().Kind;
    if (throw_in_prove) throw 42;
    return prove_result;
  }
};

TEST(OpenLinkRule, LinkKindFollowsEachStageAndExceptionsClearIt) {
  ResetLinkState();
  LogRecorder log;
  const LinkKindRow keeps{kScripted,     "scripted", ScriptedKind::Open, ScriptedKind::Prove,
                          "open failed", false,      "test failed",      1};
  LinkKindRow clears = keeps;
  clears.open_failure_clears_link = true;
  const LinkKindRow rows[] = {keeps};
  const LinkKindRow clearing_rows[] = {clears};
  LinkChoice c;
  c.kind = kScripted;

  auto run = [&](std::span<const LinkKindRow> table, LinkKind before) {
    Links().Kind = before;
    ScriptedKind::kind_seen_by_prove = kNotProven;
    return OpenAndProve(c, table);
  };
  ScriptedKind::open_result = LinkStep::Done();
  ScriptedKind::prove_result = LinkStep::Done();
  LinkResult r = run(rows, LinkKind::Serial);
  EXPECT_EQ(r.outcome, LinkOutcome::Opened);
  EXPECT_EQ(ScriptedKind::kind_seen_by_prove, kScripted);  // proving runs on the new link
  EXPECT_EQ(Links().Kind, kScripted);

  ScriptedKind::open_result = LinkStep::Failed("gone");
  r = run(rows, LinkKind::Serial);
  EXPECT_EQ(r.outcome, LinkOutcome::OpenFailed);
  EXPECT_STREQ(r.message, "open failed");
  EXPECT_EQ(r.reason, "gone");
  EXPECT_EQ(ScriptedKind::kind_seen_by_prove, kNotProven);  // never proven
  EXPECT_EQ(Links().Kind, LinkKind::Serial);
  EXPECT_EQ(run(clearing_rows, LinkKind::Serial).outcome, LinkOutcome::OpenFailed);
  EXPECT_EQ(Links().Kind, LinkKind::None);

  ScriptedKind::open_result = LinkStep::Done();
  ScriptedKind::prove_result = LinkStep::Failed("silent");
  r = run(rows, LinkKind::Serial);
  EXPECT_EQ(r.outcome, LinkOutcome::TestFailed);
  EXPECT_STREQ(r.message, "test failed");
  EXPECT_EQ(Links().Kind, LinkKind::None);

  ScriptedKind::throw_in_open = true;
  r = run(rows, LinkKind::Serial);
  EXPECT_EQ(r.outcome, LinkOutcome::Interrupted);
  EXPECT_FALSE(r.Completed());
  EXPECT_EQ(r.message, nullptr);
  EXPECT_EQ(r.reason, "exception: device table corrupt");
  EXPECT_EQ(Links().Kind, LinkKind::None);
  ScriptedKind::throw_in_open = false;

  ScriptedKind::throw_in_prove = true;
  r = run(rows, LinkKind::Usb);
  EXPECT_EQ(r.outcome, LinkOutcome::Interrupted);
  EXPECT_EQ(r.reason, "exception of unknown type");
  EXPECT_EQ(Links().Kind, LinkKind::None);
  ScriptedKind::throw_in_prove = false;

  EXPECT_THAT(log.All(), HasSubstr("link warning: scripted link, opening failed: exception: "
                                   "device table corrupt"));
  ResetLinkState();
}

// A node the user may not open names the group that may, taken from the node itself;
// a node only its owner may use, or one owned by group root, gets the plainer word;
// other reasons are left as they are.
TEST(RemedyTest, APermissionFailureOnADeviceNodeNamesItsGroup) {
  const group* dialout = ::getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no group dialout on this machine";
  const std::string node = "/dev/shm/tillvane-remedy-" + std::to_string(::getpid());
  { std::ofstream touch(node); }
  ASSERT_EQ(::chown(node.c_str(), ::getuid(), dialout->gr_gid), 0) << std::strerror(errno);
  ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
  EXPECT_EQ(WithRemedy("open " + node + ": Permission denied"),
            "open " + node +
                ": Permission denied; add the user to group dialout (sudo usermod -aG dialout "
                "\"$USER\"), then log out and in again");
  ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
  EXPECT_EQ(WithRemedy("OpenDeviceX " + node + ": Permission denied"),
            "OpenDeviceX " + node +
                ": Permission denied; ask the administrator for read and "
                "write access to " +
                node);
  std::filesystem::remove(node);

  EXPECT_EQ(WithRemedy("open /dev/ttyUSB7: No such file or directory"),
            "open /dev/ttyUSB7: No such file or directory");
  EXPECT_EQ(WithRemedy("cupsCreateJob: Permission denied"), "cupsCreateJob: Permission denied");
}

}  // namespace
}  // namespace tillvane
