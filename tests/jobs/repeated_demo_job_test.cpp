// The repeated sample receipt: copies, paper width, cutter mode, the piece count, the
// print-queue document, failures and the command-file copy.
#include <atomic>
#include <filesystem>

#include <gtest/gtest.h>

#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane::jobs {
namespace {

using ::tillvane::testing::Bytes;
namespace fs = std::filesystem;

// One receipt's bytes, recorded on a link of its own.
Bytes OneTicket(bool narrow, int32_t cutter_mode) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(narrow ? SampleTicket56(cutter_mode) : SampleTicket(cutter_mode), 0);
  ResetLinkState();
  return rec->All();
}

Bytes Times(const Bytes& b, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), b.begin(), b.end());
  return out;
}

class RepeatedDemoJobTest : public ::testing::Test {
 protected:
  void SetUp() override { SetCurrentModel("TEST-80", 80); }
  void TearDown() override {
    testing::RunJobsToEnd(dispatcher_);
    EXPECT_FALSE(SendingInProgress());
    ResetLinkState();
    SetCurrentModel("TEST-80", 80);
  }

  StartResult Repeat(std::string_view pieces, int32_t cutter_mode = 0, bool to_file = false) {
    StartResult r = StartRepeatedDemo(dispatcher_, to_file, pieces, cutter_mode);
    testing::RunJobsToEnd(dispatcher_);
    return r;
  }

  ::tillvane::testing::ScopedTempDir dir_;
  ::tillvane::testing::MessageRecorder messages_;
  QueueDispatcher dispatcher_;
};

TEST_F(RepeatedDemoJobTest, PrintsTheReceiptForThePaperWidthWithTheCutterMode) {
  const Bytes wide_partial = OneTicket(false, 1);
  ASSERT_NE(wide_partial, OneTicket(false, 0));

  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(Repeat("3", 1), StartResult::Started);
  EXPECT_EQ(rec->All(), Times(wide_partial, 3));

  SetCurrentModel("TEST-56", kNarrowPaperWidth);
  const Bytes narrow_none = OneTicket(true, 2);
  ASSERT_NE(narrow_none, OneTicket(false, 2));
  rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  EXPECT_EQ(Repeat(" 2 ", 2), StartResult::Started);
  EXPECT_EQ(rec->All(), Times(narrow_none, 2));
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(RepeatedDemoJobTest, AllCopiesAreOneDocument) {
  const Bytes one = OneTicket(false, 0);
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  Repeat("4");
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_EQ(rec->All(), Times(one, 4));
}

TEST_F(RepeatedDemoJobTest, NoPiecesGiveAnEmptyDocument) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  EXPECT_EQ(Repeat("0"), StartResult::Started);
  EXPECT_EQ(Repeat("-5"), StartResult::Started);
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_EQ(rec->starts, 2);
  EXPECT_EQ(rec->ends, 2);
}

TEST_F(RepeatedDemoJobTest, PieceCountThatIsNoNumberStartsNoDocument) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  for (const char* text : {"", " ", "abc", "3x", "1.5", "0x10", "+", "99999999999"}) {
    EXPECT_EQ(Repeat(text), StartResult::NotStarted) << text;
    EXPECT_FALSE(SendingInProgress()) << text;
  }
  EXPECT_EQ(rec->starts, 0);
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(RepeatedDemoJobTest, FailedReceiptShowsTheMessageOnceAndStops) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  rec->accept = [](size_t i) { return i < 2; };
  Repeat("5");
  EXPECT_EQ(rec->Calls().size(), 2u);
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kDataNotSentMessage});
}

TEST_F(RepeatedDemoJobTest, AReceiptCutShortBecauseTheWindowClosesEndsSilently) {
  const size_t one = OneTicket(false, 0).size();
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  std::atomic<bool> stalled{false};
  rec->accept = testing::StallUntilClosing(40, stalled);  // inside the first receipt
  ASSERT_EQ(StartRepeatedDemo(dispatcher_, false, "5", 0), StartResult::Started);
  ASSERT_TRUE(dispatcher_.PumpUntil([&] { return stalled.load(); }));
  StopJobsAndWait(dispatcher_);
  EXPECT_EQ(RunningJobs(), 0);
  EXPECT_TRUE(messages_.Messages().empty());
  // The receipt stopped at the failed write; no later copy was begun.
  EXPECT_EQ(rec->Calls().size(), 40u);
  EXPECT_LT(rec->All().size(), one);
}

TEST_F(RepeatedDemoJobTest, FailedQueueWriteEndsTheDocumentOnlyOnce) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->accept = [](size_t i) { return i < 3; };
  Repeat("2");
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(messages_.Messages().size(), 1u);
}

TEST_F(RepeatedDemoJobTest, TickedPrintToFileCopiesEveryReceipt) {
  const Bytes one = OneTicket(false, 0);
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  Repeat("2", 0, true);
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_EQ(::tillvane::testing::ReadFileBytes(dir_.path() / kCommandFileName), Times(one, 2));
}

TEST_F(RepeatedDemoJobTest, DocumentThatCannotStartClosesTheQueue) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->start_ok = false;
  EXPECT_EQ(Repeat("1"), StartResult::NotStarted);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_TRUE(rec->Calls().empty());
}

TEST_F(RepeatedDemoJobTest, RefusedWhileAnotherSenderIsActive) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  SendingScope other;
  EXPECT_EQ(Repeat("1", 0, true), StartResult::Busy);
  EXPECT_FALSE(Links().PrintToFile);
  EXPECT_TRUE(rec->Calls().empty());
}

TEST(ParsePieces, AcceptsOnlyDecimalIntegers) {
  int32_t n = 0;
  EXPECT_TRUE(ParsePieces("100", &n));
  EXPECT_EQ(n, 100);
  EXPECT_TRUE(ParsePieces("\t-7 ", &n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(ParsePieces("-2147483648", &n));
  EXPECT_EQ(n, INT32_MIN);
  EXPECT_FALSE(ParsePieces("2147483648", &n));
  EXPECT_FALSE(ParsePieces("1 2", &n));
  EXPECT_FALSE(ParsePieces("--1", &n));
}

}  // namespace
}  // namespace tillvane::jobs
