#include "commands/posfun.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "commands/send_run.h"
#include "commands/status_query.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "session/printer_actions.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::ToHex;
namespace fs = std::filesystem;

std::vector<std::string> HexCalls(const std::vector<Bytes>& calls) {
  std::vector<std::string> out;
  for (const Bytes& c : calls) out.push_back(ToHex(c));
  return out;
}

class BuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { rec_ = testing::OpenRecordingLink(LinkKind::Serial); }
  void TearDown() override { ResetLinkState(); }

  // Counts every write the link is offered; the ones from index `fail_from` on fail.
  void FailFrom(int fail_from) {
    rec_->accept = [this, fail_from](size_t) { return attempts_++ < fail_from; };
  }
  std::vector<std::string> Calls() { return HexCalls(rec_->Calls()); }

  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
  std::shared_ptr<testing::Recording> rec_;
  int attempts_ = 0;
};

struct BuilderCase {
  const char* name;
  std::function<int32_t()> call;
  std::vector<std::string> sends;
};

const std::vector<BuilderCase>& Cases() {
  static const std::vector<BuilderCase> cases = {
      {"InitializePrinter", [] { return InitializePrinter(); }, {"1B 40"}},
      {"SelectStandardMode", [] { return SelectStandardMode(); }, {"1B 53"}},
      {"SelectPageMode", [] { return SelectPageMode(); }, {"1B 4C"}},
      {"SetLineSpacing 0", [] { return SetLineSpacing(0); }, {"1B 33", "00"}},
      {"SetLineSpacing 7F", [] { return SetLineSpacing(0x7F); }, {"1B 33", "7F"}},
      {"SetLineSpacing 80", [] { return SetLineSpacing(0x80); }, {"1B 32"}},
      {"SetLineSpacing FF", [] { return SetLineSpacing(0xFF); }, {"1B 32"}},
      {"PrintAndLineFeed", [] { return PrintAndLineFeed(); }, {"0A"}},
      {"PrintPage", [] { return PrintPage(); }, {"1B 0C"}},
      {"PrintAndReturnToStandardMode", [] { return PrintAndReturnToStandardMode(); }, {"0C"}},
      {"SetAbsolutePosition", [] { return SetAbsolutePosition(100, 0); }, {"1B 24", "64", "00"}},
      {"SetPageArea",
       [] { return SetPageArea(0, 0, 0, 0, 0, 2, 150, 1); },
       {"1B 57", "00", "00", "00", "00", "00", "02", "96", "01"}},
      {"SetPageDirection", [] { return SetPageDirection(1); }, {"1B 54", "01"}},
      {"SetAbsoluteVerticalPosition",
       [] { return SetAbsoluteVerticalPosition(0x64, 0x01); },
       {"1D 24", "64", "01"}},
      {"SetRelativeVerticalPosition",
       [] { return SetRelativeVerticalPosition(0, 0); },
       {"1D 5C", "00", "00"}},
      {"SetMotionUnits", [] { return SetMotionUnits(180, 180); }, {"1D 50", "B4", "B4"}},
      {"CancelPageData", [] { return CancelPageData(); }, {"18"}},
      {"PrintText", [] { return PrintText("A b"); }, {"41", "20", "62"}},
      {"PrintText high bytes", [] { return PrintText("\xB2\xE2"); }, {"B2", "E2"}},
      {"PrintText empty", [] { return PrintText(""); }, {}},
      {"SelectFont", [] { return SelectFont(0); }, {"1B 46", "00"}},
      {"SetEmphasized", [] { return SetEmphasized(0); }, {"1B 45", "00"}},
      {"SetCharacterSize", [] { return SetCharacterSize(17); }, {"1D 21", "11"}},
      {"SetCharacterSpacing", [] { return SetCharacterSpacing(14); }, {"1B 20", "0E"}},
      {"SetPrintMode", [] { return SetPrintMode(0); }, {"1B 21", "00"}},
      {"SetBarcodeHri", [] { return SetBarcodeHri(0, 0); }, {"1D 48", "00", "1D 66", "00"}},
      {"PrintBarcode CODE128 set A",
       [] { return PrintBarcode(3, 100, 8, 9, "{ACODE128"); },
       {"1D 77 03 1D 68 64 1D 6B", "49", "09", "7B", "41", "23", "2F", "24", "25", "11", "12",
        "18"}},
      {"PrintBarcode CODE128 set B",
       [] { return PrintBarcode(2, 60, 8, 4, "{Ba\x10"); },
       {"1D 77 02 1D 68 3C 1D 6B", "49", "04", "7B", "42", "41", "F0"}},
      {"PrintBarcode CODE128 set C",
       [] { return PrintBarcode(2, 60, 8, 4, "{C12"); },
       {"1D 77 02 1D 68 3C 1D 6B", "49", "04", "7B", "43", "31", "32"}},
      {"PrintBarcode CODE128 prefix only",
       [] { return PrintBarcode(2, 60, 8, 1, "{"); },
       {"1D 77 02 1D 68 3C 1D 6B", "49", "01", "7B"}},
      {"PrintBarcode CODE93",
       [] { return PrintBarcode(2, 80, 7, 9, "123456789"); },
       {"1D 77 02 1D 68 50 1D 6B", "48", "09", "31", "32", "33", "34", "35", "36", "37", "38",
        "39"}},
      {"PrintBarcode system 0 keeps data",
       [] { return PrintBarcode(1, 1, 0, 3, "{AB"); },
       {"1D 77 01 1D 68 01 1D 6B", "41", "03", "7B", "41", "42"}},
      {"PrintBarcode length not checked",
       [] { return PrintBarcode(255, 255, 7, 0, "12"); },
       {"1D 77 FF 1D 68 FF 1D 6B", "48", "00", "31", "32"}},
      {"PrintRamLogo", [] { return PrintRamLogo(2); }, {"1D 23", "02", "1D 2F 30"}},
      {"PrintFlashLogo", [] { return PrintFlashLogo(1); }, {"1C 70", "01", "00"}},
      {"SelectRamLogo", [] { return SelectRamLogo(3); }, {"1D 23 03"}},
      {"DefineRamLogoSize", [] { return DefineRamLogoSize(0x0A, 0x30); }, {"1D 2A 0A 30"}},
      {"DefineRamLogoSize largest", [] { return DefineRamLogoSize(0xFF, 0xFF); }, {"1D 2A FF FF"}},
      {"DefineFlashLogos", [] { return DefineFlashLogos(1); }, {"1C 71 01"}},
      {"TransmitPaperStatus", [] { return TransmitPaperStatus(); }, {"1D 72 01"}},
      {"FeedPaper NAK", [] { return FeedPaper(0, 255); }, {"15", "FF"}},
      {"FeedPaper RS", [] { return FeedPaper(1, 2); }, {"1E", "02"}},
      {"FeedPaper low byte", [] { return FeedPaper(0, 0x1234); }, {"15", "34"}},
      {"CutPaper full", [] { return CutPaper(0x30, 0); }, {"1D 56 30"}},
      {"CutPaper partial", [] { return CutPaper(0x31, 7); }, {"1D 56 31"}},
      {"CutPaper 41", [] { return CutPaper(0x41, 5); }, {"1D 56 41", "05"}},
      {"CutPaper 42", [] { return CutPaper(0x42, 0); }, {"1D 56 42", "00"}},
      {"CutPaper 43", [] { return CutPaper(0x43, 5); }, {"1D 56 43"}},
  };
  return cases;
}

TEST_F(BuilderTest, EachBuilderSendsItsCallsExactly) {
  for (const BuilderCase& c : Cases()) {
    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(c.call(), 0) << c.name;
    EXPECT_EQ(Calls(), c.sends) << c.name;
  }
}

TEST_F(BuilderTest, AFailedSendStopsTheBuilderAndIsReturned) {
  // For every builder and every call it makes: fail that call and check that nothing
  // after it is offered to the link.
  for (const BuilderCase& c : Cases()) {
    for (size_t k = 0; k < c.sends.size(); ++k) {
      rec_ = testing::OpenRecordingLink(LinkKind::Serial);
      attempts_ = 0;
      FailFrom(static_cast<int>(k));
      EXPECT_EQ(c.call(), -1) << c.name << " failing call " << k;
      EXPECT_EQ(attempts_, static_cast<int>(k) + 1) << c.name << " failing call " << k;
      EXPECT_EQ(Calls().size(), k) << c.name;
    }
  }
}

TEST_F(BuilderTest, RefusedParametersSendNothing) {
  FailFrom(1 << 30);
  // Embedded in the fixed part, a 0 would cut the command short.
  EXPECT_EQ(PrintBarcode(0, 80, 7, 9, "123456789"), -1);
  EXPECT_EQ(PrintBarcode(3, 0, 7, 9, "123456789"), -1);
  EXPECT_EQ(CutPaper(0, 0), -1);
  EXPECT_EQ(CutPaper(0, 0x41), -1);
  // Counts below 1 and unknown feed modes.
  EXPECT_EQ(FeedPaper(0, 0), -1);
  EXPECT_EQ(FeedPaper(0, -3), -1);
  EXPECT_EQ(FeedPaper(2, 5), -1);
  EXPECT_EQ(FeedPaper(-1, 5), -1);
  // No text at all.
  EXPECT_EQ(PrintText(nullptr), -1);
  EXPECT_EQ(PrintBarcode(3, 80, 8, 9, nullptr), -1);
  EXPECT_EQ(attempts_, 0);
}

TEST_F(BuilderTest, CommandFileGetsTheSameBytesInOrder) {
  Links().PrintToFile = true;
  ASSERT_EQ(SetPageArea(0, 0, 0, 0, 0, 2, 150, 1), 0);
  ASSERT_EQ(PrintBarcode(3, 100, 8, 9, "{ACODE128"), 0);
  ASSERT_EQ(CutPaper(0x42, 0), 0);
  EXPECT_EQ(testing::ReadFileBytes(kCommandFileName), rec_->All());
  EXPECT_EQ(rec_->All().size(), 10u + 19u + 4u);
}

// A run of sends ends at its first failure, for every builder that follows in it.
TEST_F(BuilderTest, ARunStopsEveryBuilderAfterItsFirstFailure) {
  rec_->accept = [this](size_t) { return attempts_++ != 1; };
  {
    StopAtFirstFailure run;
    EXPECT_EQ(InitializePrinter(), 0);
    EXPECT_EQ(run.result(), 0);
    EXPECT_EQ(SetAbsolutePosition(1, 2), -1);  // its fixed part is refused
    EXPECT_EQ(run.result(), -1);
    // A builder with nothing to send (an empty text) has nothing refused.
    for (const BuilderCase& c : Cases()) EXPECT_EQ(c.call(), c.sends.empty() ? 0 : -1) << c.name;
  }
  EXPECT_EQ(attempts_, 2);
  EXPECT_EQ(Calls(), std::vector<std::string>{"1B 40"});
  // Once the run has ended, builders send again and a failure stops only its builder.
  rec_->accept = [this](size_t) { return attempts_++ != 2; };
  EXPECT_EQ(SelectPageMode(), -1);
  EXPECT_EQ(SelectStandardMode(), 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1B 40", "1B 53"}));
}

TEST_F(BuilderTest, ARunSendsNothingMoreToTheCommandFile) {
  Links().PrintToFile = true;
  FailFrom(1);
  {
    StopAtFirstFailure run;
    EXPECT_EQ(SetMotionUnits(180, 180), -1);  // the first trailing byte is refused
    EXPECT_EQ(SelectPageMode(), -1);
    EXPECT_EQ(PrintText("abc"), -1);
  }
  // The refused byte was copied before the link refused it; nothing after it.
  EXPECT_EQ(ToHex(testing::ReadFileBytes(kCommandFileName)), "1D 50 B4");
  EXPECT_EQ(attempts_, 2);
}

TEST_F(BuilderTest, RunsNestAndHandTheirFailureOut) {
  FailFrom(1);
  {
    StopAtFirstFailure outer;
    EXPECT_EQ(InitializePrinter(), 0);
    {
      StopAtFirstFailure inner;
      EXPECT_EQ(InitializePrinter(), -1);
      EXPECT_EQ(inner.result(), -1);
      EXPECT_EQ(outer.result(), 0);
    }
    EXPECT_EQ(outer.result(), -1);
    {
      StopAtFirstFailure later;  // begins failed: its outer run has failed
      EXPECT_EQ(later.result(), -1);
      EXPECT_EQ(CancelPageData(), -1);
    }
    EXPECT_EQ(CancelPageData(), -1);
  }
  EXPECT_EQ(attempts_, 2);
  // A run that succeeds leaves its outer run as it was.
  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  StopAtFirstFailure outer;
  {
    StopAtFirstFailure inner;
    EXPECT_EQ(InitializePrinter(), 0);
  }
  EXPECT_EQ(outer.result(), 0);
  EXPECT_EQ(Calls(), std::vector<std::string>{"1B 40"});
}

TEST_F(BuilderTest, AFailedRunStopsOnlyItsOwnThread) {
  FailFrom(1);
  StopAtFirstFailure run;
  EXPECT_EQ(InitializePrinter(), 0);
  EXPECT_EQ(InitializePrinter(), -1);
  rec_->accept = nullptr;
  int32_t other = 1;
  std::thread t([&] { other = SelectPageMode(); });
  t.join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(InitializePrinter(), -1);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"1B 40", "1B 4C"}));
}

TEST_F(BuilderTest, BuildersOnTwoThreadsKeepEachCommandWhole) {
  // Each builder formats its fixed part in a buffer of its own, so two senders may
  // interleave whole calls but never mix the bytes of one.
  constexpr int kRounds = 2000;
  std::thread a([] {
    for (int i = 0; i < kRounds; ++i) PrintBarcode(3, 100, 8, 2, "{A");
  });
  std::thread b([] {
    for (int i = 0; i < kRounds; ++i) {
      PrintRamLogo(1);
      CutPaper(0x31, 0);
    }
  });
  a.join();
  b.join();
  const std::set<std::string> fixed = {"1D 77 03 1D 68 64 1D 6B", "1D 23", "1D 2F 30", "1D 56 31"};
  std::map<std::string, int> seen;
  for (const std::string& call : Calls()) {
    if (call.size() > 2) {
      EXPECT_TRUE(fixed.count(call)) << call;
      ++seen[call];
    }
  }
  for (const std::string& f : fixed) EXPECT_EQ(seen[f], kRounds) << f;
}

// A serial port whose printer answers after a given number of polls (never when
// negative), or whose queue count cannot be read.
class AnsweringSerial : public SerialBackend {
 public:
  struct Log {
    std::vector<std::string> events;
    int polls = 0;
  };
  AnsweringSerial(Log* log, int answer_after, bool write_ok = true, bool count_fails = false)
      : log_(log), answer_after_(answer_after), write_ok_(write_ok), count_fails_(count_fails) {}
  int32_t Write(const uint8_t* bytes, int32_t length) override {
    log_->events.push_back("write " + ToHex(Bytes(bytes, bytes + length)));
    return write_ok_ ? length : -1;
  }
  bool Purge() override {
    log_->events.push_back("purge");
    return true;
  }
  int32_t ReceiveQueueCount() override {
    int poll = log_->polls++;
    if (count_fails_) return -1;
    return answer_after_ >= 0 && poll >= answer_after_ ? 1 : 0;
  }

 private:
  Log* log_;
  int answer_after_;
  bool write_ok_;
  bool count_fails_;
};

class SerialTestTest : public ::testing::Test {
 protected:
  void Open(int answer_after, bool write_ok = true, bool count_fails = false) {
    ResetLinkState();
    SetLink(std::make_unique<AnsweringSerial>(&log_, answer_after, write_ok, count_fails));
    Links().Kind = LinkKind::Serial;
  }
  void TearDown() override { ResetLinkState(); }
  AnsweringSerial::Log log_;
};

TEST_F(SerialTestTest, PurgesSendsStatusRequestAndWaitsForAnyByte) {
  Open(1);
  EXPECT_EQ(TestSerialCommunication(), 0);
  EXPECT_EQ(log_.events, (std::vector<std::string>{"purge", "write 1D 72 01"}));
  EXPECT_EQ(log_.polls, 2);
}

TEST_F(SerialTestTest, NoAnswerFailsAfterFourSecondsWithoutSpinning) {
  Open(-1);
  uint32_t start = TickCount();
  EXPECT_EQ(TestSerialCommunication(), -1);
  EXPECT_GE(TickCount() - start, kCommunicationAnswerMs);
  // About one poll per millisecond, not a busy loop.
  EXPECT_GE(log_.polls, 2);
  EXPECT_LE(log_.polls, static_cast<int>(kCommunicationAnswerMs) + 50);
}

TEST_F(SerialTestTest, FailedWriteOrUnreadableQueueFailsAtOnce) {
  Open(0, /*write_ok=*/false);
  EXPECT_EQ(TestSerialCommunication(), -1);
  EXPECT_EQ(log_.polls, 0);

  log_ = {};
  Open(0, true, /*count_fails=*/true);
  EXPECT_EQ(TestSerialCommunication(), -1);
  EXPECT_EQ(log_.polls, 1);
}

TEST_F(SerialTestTest, NoSerialPortFails) {
  ResetLinkState();
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(TestSerialCommunication(), -1);
}

class ClearErrorTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetLinkState(); }
  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
};

TEST_F(ClearErrorTest, ResetReachesThePrinterButNotTheCommandFile) {
  auto rec = testing::OpenRecordingLink(LinkKind::Serial);
  Links().PrintToFile = true;
  ClearPrinterError();
  EXPECT_EQ(HexCalls(rec->Calls()), std::vector<std::string>{"1B 40"});
  EXPECT_FALSE(fs::exists(kCommandFileName));
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(ClearErrorTest, FailedResetShowsTheMessageAndRestoresPrintToFile) {
  auto rec = testing::OpenRecordingLink(LinkKind::Usb);
  rec->accept = [](size_t) { return false; };
  Links().PrintToFile = true;
  ClearPrinterError();
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kSendFailedMessage});
  EXPECT_EQ(std::string(kSendFailedMessage),
            "发送数据失败!\n            Please check whether the printer is connected to the "
            "specified port correctly");
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_FALSE(fs::exists(kCommandFileName));

  // Cleared before stays cleared.
  Links().PrintToFile = false;
  ClearPrinterError();
  EXPECT_FALSE(Links().PrintToFile);
}

TEST_F(ClearErrorTest, PrintQueueGetsOneDocument) {
  auto rec = testing::OpenRecordingLink(LinkKind::PrintQueue);
  ClearPrinterError();
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_EQ(HexCalls(rec->Calls()), std::vector<std::string>{"1B 40"});
  EXPECT_TRUE((OpenLinkKind() == LinkKind::PrintQueue));
}

TEST_F(ClearErrorTest, PrintQueueStartOrEndFailureClosesTheQueue) {
  auto rec = testing::OpenRecordingLink(LinkKind::PrintQueue);
  rec->start_ok = false;
  Links().PrintToFile = true;
  ClearPrinterError();
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_EQ(rec->ends, 0);
  EXPECT_TRUE(rec->destroyed);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_TRUE(messages_.Messages().empty());

  rec = testing::OpenRecordingLink(LinkKind::PrintQueue);
  rec->end_ok = false;
  ClearPrinterError();
  EXPECT_EQ(HexCalls(rec->Calls()), std::vector<std::string>{"1B 40"});
  EXPECT_TRUE(rec->destroyed);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace tillvane
