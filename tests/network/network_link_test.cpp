// The network link against the simulated network printer on the loopback interface.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "commands/posfun.h"
#include "commands/status_query.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "link/network_link.h"
#include "link/send_data.h"
#include "session/dispatcher.h"
#include "session/sender_gate.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"
#include "tests/rigs/network_printer.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using net::NetErrorKind;
using net::NetworkDevice;
using net::NetworkTimeouts;
using rigs::SimNetworkPrinter;
using testing::Bytes;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

Bytes Pattern(size_t n, uint8_t seed = 3) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return b;
}

// A pattern without the request sequences GS r 1 and DLE EOT n, so that the printer
// answers nothing while it is streamed.
Bytes QuietPattern(size_t n) {
  Bytes b = Pattern(n);
  for (uint8_t& c : b)
    if (c == 0x1D || c == 0x10) c = 0x20;
  return b;
}

int32_t Send(const Bytes& b) {
  return SendData(b.data(), static_cast<int32_t>(b.size()));
}

class NetworkLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    std::string error;
    ASSERT_TRUE(printer_.Start(SimNetworkPrinter::Family::IPv4, 0, &error)) << error;
    printer_.SetPaperStatus(0x00);
  }
  void TearDown() override {
    ResetLinkState();
    printer_.Stop();
  }

  // The port page's apply, up to the proof: connect, then GS r 1 and the line feed.
  bool Open(const std::string& address, NetworkTimeouts t = {}) {
    if (!OpenNetworkPrinter(address, t)) return false;
    Links().Kind = LinkKind::Network;
    return true;
  }
  int32_t Prove(std::optional<uint8_t>* answer = nullptr) {
    if (int32_t r = TestCommunication(answer); r != 0) return r;
    return PrintAndLineFeed();
  }

  NetworkDevice* Device() { return dynamic_cast<NetworkDevice*>(Links().link.get()); }

  int SocketOption(int level, int name) {
    int value = -1;
    socklen_t len = sizeof value;
    EXPECT_EQ(::getsockopt(Device()->fd(), level, name, &value, &len), 0);
    return value;
  }

  SimNetworkPrinter printer_;
};

TEST_F(NetworkLinkTest, ConnectsProvesWithGsR1AndReadsTheAnswer) {
  printer_.SetPaperStatus(0x03);
  ASSERT_TRUE(Open(printer_.Address())) << LastNetworkOpenError().Message();
  EXPECT_TRUE(LastNetworkOpenError().ok());
  std::optional<uint8_t> answer;
  EXPECT_EQ(Prove(&answer), 0);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, 0x03);
  EXPECT_EQ(DecodePaperStatus(*answer), PaperState::NearEnd);
  ASSERT_TRUE(printer_.WaitForReceived(4, 2000));
  EXPECT_EQ(printer_.Received(), testing::FromHex("1D 72 01 0A"));
  EXPECT_EQ(Device()->peer(), printer_.Address());

  // Nagle off, keep-alive on, and unacknowledged data fails within the write deadline.
  EXPECT_NE(SocketOption(IPPROTO_TCP, TCP_NODELAY), 0);
  EXPECT_NE(SocketOption(SOL_SOCKET, SO_KEEPALIVE), 0);
  EXPECT_EQ(SocketOption(IPPROTO_TCP, TCP_USER_TIMEOUT), 10000);
}

TEST_F(NetworkLinkTest, IPv6LoopbackWithPortAndAHostNameFromTheHostsFile) {
  SimNetworkPrinter v6;
  std::string error;
  ASSERT_TRUE(v6.Start(SimNetworkPrinter::Family::IPv6, 0, &error)) << error;
  v6.SetPaperStatus(0x0C);
  ASSERT_EQ(v6.Address().rfind("[::1]:", 0), 0u);
  ASSERT_TRUE(Open(v6.Address())) << LastNetworkOpenError().Message();
  std::optional<uint8_t> answer;
  EXPECT_EQ(Prove(&answer), 0);
  EXPECT_EQ(answer, std::optional<uint8_t>(0x0C));
  EXPECT_EQ(Device()->peer(), v6.Address());
  ResetLinkState();

  // "localhost" comes from /etc/hosts; whichever loopback address it gives first, the
  // link goes on to the next until one takes the connection.
  ASSERT_TRUE(Open("localhost:" + std::to_string(printer_.port())))
      << LastNetworkOpenError().Message();
  EXPECT_EQ(Prove(), 0);
}

TEST_F(NetworkLinkTest, TheDemoReceiptsArriveWithTheBytesOfTheSerialLink) {
  struct Doc {
    const char* name;
    int32_t (*print)(int32_t);
  };
  const Doc docs[] = {
      {"SampleTicket", SampleTicket},
      {"LogoTicket", LogoTicket},
      {"FontBarcodeTicket", FontBarcodeTicket},
      {"TwoPartTicket", TwoPartTicket},
      {"CleanReceiptTicket", CleanReceiptTicket},
      {"AtmTicket", AtmTicket},
      {"AccountTicket", AccountTicket},
      {"WideAccountTicket", WideAccountTicket},
      {"SampleTicket56", SampleTicket56},
      {"LogoTicket56", LogoTicket56},
      {"FontBarcodeTicket56", FontBarcodeTicket56},
      {"TwoPartTicket56", TwoPartTicket56},
      {"CleanReceiptTicket56", CleanReceiptTicket56},
      {"AtmTicket56", AtmTicket56},
      {"AccountTicket56", AccountTicket56},
      {"WideAccountTicket56", WideAccountTicket56},
  };
  SetCurrentModel("", 80);
  for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = false;
  ASSERT_TRUE(Open(printer_.Address()));
  for (const Doc& d : docs) {
    printer_.ClearReceived();
    ASSERT_EQ(d.print(0), 0) << d.name;
    // The golden files hold what every link must carry, the serial link's included.
    const Bytes golden =
        testing::ReadFileBytes(testing::GoldenDir() / (std::string(d.name) + ".bin"));
    ASSERT_FALSE(golden.empty()) << d.name;
    ASSERT_TRUE(printer_.WaitForReceived(golden.size(), 5000)) << d.name;
    EXPECT_EQ(printer_.Received(), golden) << d.name;
  }
}

TEST_F(NetworkLinkTest, TenMegabytesStreamWholeAndInOrderThroughTheFileJob) {
  testing::ScopedTempDir dir;
  const Bytes data = QuietPattern(10 * 1024 * 1024 + 123);
  const fs::path file = dir.path() / "big.dat";
  testing::WriteFileBytes(file, data);
  printer_.ClearReceived();
  ASSERT_TRUE(Open(printer_.Address()));

  jobs::QueueDispatcher dispatcher;
  jobs::testing::RecordingWindow window;
  testing::MessageRecorder messages;
  ASSERT_EQ(jobs::StartCommandFileStream(dispatcher, window, file.string(), dir.path().string()),
            jobs::StartResult::Started);
  jobs::testing::RunJobsToEnd(dispatcher);
  EXPECT_TRUE(messages.Messages().empty());
  ASSERT_FALSE(window.texts.empty());
  EXPECT_EQ(window.texts.back().text,
            std::to_string(data.size()) + "/" + std::to_string(data.size()) + "bytes");
  EXPECT_EQ(window.positions.back(), 0);

  ASSERT_TRUE(printer_.WaitForReceived(data.size(), 10000));
  const Bytes got = printer_.Received();
  ASSERT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data) << "bytes out of order or changed";
  EXPECT_EQ(printer_.connections(), 1);
}

TEST_F(NetworkLinkTest, ARefusedConnectionFailsAtOnceAndSaysThePrinterMayBeBusy) {
  printer_.SetRefusing(true);
  SleepMs(50);
  const auto start = Clock::now();
  EXPECT_FALSE(Open(printer_.Address()));
  EXPECT_LT(MsSince(start), 2000);
  const net::NetError e = LastNetworkOpenError();
  EXPECT_EQ(e.kind, NetErrorKind::Refused);
  EXPECT_NE(e.Message().find("Connection refused"), std::string::npos) << e.Message();
  EXPECT_NE(e.Message().find("busy with another host"), std::string::npos) << e.Message();
  EXPECT_NE(OpenLinkKind(), LinkKind::Network);

  // The same printer, free again, takes the next apply.
  printer_.SetRefusing(false);
  SleepMs(50);
  ASSERT_TRUE(Open(printer_.Address())) << LastNetworkOpenError().Message();
  EXPECT_EQ(Prove(), 0);
}

TEST_F(NetworkLinkTest, APrinterThatTakesNoConnectionTimesOutWithinTheConnectDeadline) {
  printer_.SetUnresponsive(true);
  SleepMs(300);
  for (uint32_t limit_ms : {1000u, 5000u}) {
    NetworkTimeouts t;
    t.connect_ms = limit_ms;
    const auto start = Clock::now();
    EXPECT_FALSE(Open(printer_.Address(), t));
    const int64_t took = MsSince(start);
    EXPECT_GE(took, limit_ms - 50) << limit_ms;
    EXPECT_LT(took, limit_ms + 1500) << limit_ms;
    EXPECT_EQ(LastNetworkOpenError().kind, NetErrorKind::Timeout)
        << LastNetworkOpenError().Message();
  }
}

TEST_F(NetworkLinkTest, APrinterThatNeverAnswersFailsTheProofAfterFourSeconds) {
  printer_.SetSilent(true);
  ASSERT_TRUE(Open(printer_.Address()));
  const auto start = Clock::now();
  std::optional<uint8_t> answer;
  EXPECT_EQ(TestCommunication(&answer), -1);
  const int64_t took = MsSince(start);
  EXPECT_GE(took, 4000);
  EXPECT_LT(took, 6000);
  EXPECT_FALSE(answer.has_value());
  EXPECT_EQ(printer_.status_requests(), 1);
}

TEST_F(NetworkLinkTest, ANameThatDoesNotResolveFailsWithTheResolversReason) {
  // A label longer than 63 bytes cannot be put in a query: the resolver refuses the
  // name without asking any server.
  const std::string name = std::string(64, 'n') + ".invalid";
  const auto start = Clock::now();
  EXPECT_FALSE(Open(name + ":9100"));
  EXPECT_LT(MsSince(start), 5500);
  const net::NetError e = LastNetworkOpenError();
  EXPECT_EQ(e.kind, NetErrorKind::NameNotFound) << e.Message();
  EXPECT_EQ(e.Message().rfind("getaddrinfo " + name + ": ", 0), 0u) << e.Message();

  EXPECT_FALSE(Open("printer:0"));
  EXPECT_EQ(LastNetworkOpenError().kind, NetErrorKind::BadAddress);
  EXPECT_NE(LastNetworkOpenError().Message().find("1 to 65535"), std::string::npos);
}

TEST_F(NetworkLinkTest, APrinterThatStopsReadingFailsTheWriteWithinItsDeadlineAndClosesTheLink) {
  printer_.SetReceiveBuffer(4096);
  printer_.Stop();
  std::string error;
  ASSERT_TRUE(printer_.Start(SimNetworkPrinter::Family::IPv4, 0, &error)) << error;
  constexpr size_t kTaken = 50000;
  printer_.SetStopReadingAfter(kTaken);
  NetworkTimeouts t;
  t.write_ms = 1500;
  ASSERT_TRUE(Open(printer_.Address(), t));
  const Bytes block = QuietPattern(4096);
  int32_t result = 0;
  size_t sent = 0;
  Clock::time_point failed_at;
  const auto start = Clock::now();
  while (MsSince(start) < 60000) {
    const auto before = Clock::now();
    result = Send(block);
    if (result != 0) {
      failed_at = before;
      break;
    }
    sent += block.size();
  }
  ASSERT_EQ(result, -1) << "the socket buffers never filled";
  const int64_t waited = MsSince(failed_at);
  EXPECT_GE(waited, 1400);
  EXPECT_LT(waited, 3500);
  EXPECT_EQ(Device()->last_error().kind, NetErrorKind::Timeout);
  EXPECT_FALSE(Device()->connected());

  // The next send fails at once: the link must be applied again.
  const auto again = Clock::now();
  EXPECT_EQ(Send(block), -1);
  EXPECT_LT(MsSince(again), 50);
  EXPECT_EQ(Device()->last_error().kind, NetErrorKind::Closed);
  EXPECT_EQ(TestCommunication(nullptr), -1);

  // The printer got exactly what it read, a prefix of what was sent.
  EXPECT_TRUE(printer_.WaitForReceived(kTaken, 2000));
  const Bytes got = printer_.Received();
  ASSERT_EQ(got.size(), kTaken);
  Bytes expected;
  while (expected.size() < kTaken) expected.insert(expected.end(), block.begin(), block.end());
  expected.resize(kTaken);
  EXPECT_TRUE(got == expected);
  EXPECT_GT(sent, kTaken);
}

TEST_F(NetworkLinkTest, AResetMidStreamFailsTheNextWritesAndClosesTheLink) {
  constexpr size_t kAt = 20000;
  printer_.SetResetAfter(kAt);
  ASSERT_TRUE(Open(printer_.Address()));
  const Bytes block = QuietPattern(4096);
  int32_t result = 0;
  const auto start = Clock::now();
  for (int i = 0; i < 100000 && result == 0 && MsSince(start) < 20000; ++i) {
    result = Send(block);
    if (result == 0 && i > 6) SleepMs(1);  // give the reset time to come back
  }
  EXPECT_EQ(result, -1);
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_EQ(Device()->last_error().kind, NetErrorKind::Reset) << Device()->last_error().Message();
  EXPECT_FALSE(Device()->connected());
  EXPECT_EQ(Send(block), -1);
  EXPECT_EQ(printer_.received_count(), kAt);
}

TEST_F(NetworkLinkTest, ClosingWaitsForThePrinterToCloseItsSideButNotLongerThanTwoSeconds) {
  const Bytes data = QuietPattern(200000);
  for (int delay : {600, 4000}) {
    printer_.ClearReceived();
    printer_.SetCloseDelayMs(delay);
    const int closes_before = printer_.orderly_closes();
    ASSERT_TRUE(Open(printer_.Address()));
    ASSERT_EQ(Send(data), 0);
    const auto start = Clock::now();
    CloseNetworkPrinter();
    const int64_t took = MsSince(start);
    if (delay < 2000) {
      EXPECT_GE(took, delay - 100);
      EXPECT_LT(took, 1900);
    } else {
      EXPECT_GE(took, 1900);
      EXPECT_LT(took, 3500);
    }
    // Every byte arrived, and the printer saw the end of the stream, not a reset.
    EXPECT_TRUE(printer_.WaitForReceived(data.size(), 2000)) << delay;
    EXPECT_EQ(printer_.Received(), data) << delay;
    EXPECT_EQ(printer_.orderly_closes(), closes_before + 1) << delay;
    EXPECT_TRUE(printer_.WaitForNoConnection(delay + 2000)) << delay;
  }
}

TEST_F(NetworkLinkTest, ApplyingAgainClosesTheOldConnectionFirst) {
  ASSERT_TRUE(Open(printer_.Address()));
  ASSERT_TRUE(Open(printer_.Address()));
  // The printer counts a connection when its own thread accepts it, which may come
  // just after the link's connect returned.
  const auto start = Clock::now();
  while ((printer_.connections() != 2 || printer_.open_connections() != 1) && MsSince(start) < 3000)
    SleepMs(5);
  EXPECT_EQ(printer_.connections(), 2);
  // The first was closed in order before the second was made.
  EXPECT_EQ(printer_.orderly_closes(), 1);
  EXPECT_EQ(printer_.open_connections(), 1);
}

TEST_F(NetworkLinkTest, StatusRequestsReadEachAnswerAndStayOutOfTheCommandFile) {
  testing::ScopedTempDir dir;
  printer_.SetRealTimeStatus(1, 0x1A);
  printer_.SetRealTimeStatus(2, 0x16);
  printer_.SetRealTimeStatus(3, std::nullopt);
  printer_.SetRealTimeStatus(4, 0x00);
  ASSERT_TRUE(Open(printer_.Address()));
  Links().PrintToFile = true;
  StatusAnswers answers;
  const auto start = Clock::now();
  ASSERT_TRUE(QueryPrinterStatus(&answers));
  const int64_t took = MsSince(start);
  EXPECT_EQ(answers[0], std::optional<uint8_t>(0x1A));
  EXPECT_EQ(answers[1], std::optional<uint8_t>(0x16));
  EXPECT_FALSE(answers[2].has_value());
  EXPECT_EQ(answers[3], std::optional<uint8_t>(0x00));
  EXPECT_GE(took, 495) << "the request without an answer waits its 500 ms";
  EXPECT_LT(took, 1500);
  EXPECT_EQ(printer_.realtime_requests(), 4);
  EXPECT_FALSE(fs::exists(dir.path() / "Commands.dat"));
  EXPECT_TRUE(Links().PrintToFile);

  // A silent printer: no answer to any of the four, after 500 ms each.
  printer_.SetSilent(true);
  const auto quiet = Clock::now();
  ASSERT_TRUE(QueryPrinterStatus(&answers));
  EXPECT_GE(MsSince(quiet), 1990);
  for (const auto& a : answers) EXPECT_FALSE(a.has_value());
}

}  // namespace
}  // namespace tillvane
