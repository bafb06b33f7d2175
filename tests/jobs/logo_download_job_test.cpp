// The logo download: which logos are sent and in what order, the RAM logo flags, the
// status text and the index buttons, the print-queue document and PrintToFile.
#include <filesystem>

#include <gtest/gtest.h>

#include "commands/posfun.h"
#include "documents/ticket56.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane::jobs {
namespace {

using testing::Find;
using testing::RecordingWindow;
using ::tillvane::testing::Bytes;
using ::tillvane::testing::FromHex;
namespace fs = std::filesystem;

constexpr IndexButton kAllButtons[] = {IndexButton::PortOption, IndexButton::DownloadLogo,
                                       IndexButton::Demo, IndexButton::ClearError,
                                       IndexButton::Exit};

// The calls InitializePrinter makes, recorded on a link of their own.
std::vector<Bytes> InitializeCalls() {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(InitializePrinter(), 0);
  ResetLinkState();
  return rec->Calls();
}

class LogoDownloadJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    init_ = ::tillvane::testing::Join(InitializeCalls());
    init_calls_ = InitializeCalls().size();
    RamLogoLoaded()[0] = true;
    RamLogoLoaded()[1] = false;
    RamLogoLoaded()[2] = false;
    PrintToFileToRestore() = false;
  }
  void TearDown() override {
    testing::RunJobsToEnd(dispatcher_);
    EXPECT_FALSE(SendingInProgress());
    EXPECT_EQ(window_.off_thread_calls, 0);
    ResetLinkState();
  }

  void WriteLogos(std::initializer_list<const char*> names) {
    for (const char* n : names) testing::WriteMonoBmp(dir_.path() / n, 16, 8);
  }

  StartResult Download(const LogoChoices& c) {
    StartResult r = StartLogoDownload(dispatcher_, window_, c, dir_.path().string());
    if (r == StartResult::Started) {
      for (IndexButton b : kAllButtons) EXPECT_FALSE(window_.Enabled(b));
    }
    testing::RunJobsToEnd(dispatcher_);
    return r;
  }

  void ExpectEnd(bool success) {
    ASSERT_EQ(window_.texts.size(), 2u);
    EXPECT_EQ(window_.texts[0].text, kDownloadingText);
    EXPECT_EQ(window_.texts[0].colour, kRed);
    EXPECT_EQ(window_.texts[1].text, success ? kDoneText : kFailedText);
    EXPECT_EQ(window_.texts[1].colour, success ? kNavy : kRed);
    EXPECT_EQ(window_.Enabled(IndexButton::Demo), success);
    EXPECT_EQ(window_.Enabled(IndexButton::ClearError), success);
    EXPECT_TRUE(window_.Enabled(IndexButton::DownloadLogo));
    EXPECT_TRUE(window_.Enabled(IndexButton::PortOption));
    EXPECT_TRUE(window_.Enabled(IndexButton::Exit));
    EXPECT_TRUE(window_.positions.empty());
  }

  ::tillvane::testing::ScopedTempDir dir_;
  ::tillvane::testing::MessageRecorder messages_;
  QueueDispatcher dispatcher_;
  RecordingWindow window_;
  Bytes init_;
  size_t init_calls_ = 0;
};

TEST_F(LogoDownloadJobTest, LionOnlySendsRamLogoTwoAndSetsOnlyItsFlag) {
  WriteLogos({"Horse.bmp", "Lion.bmp", "Map.bmp", "Dragon.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(Download({.lion = true}), StartResult::Started);
  const Bytes all = rec->All();
  ASSERT_GE(all.size(), init_.size());
  EXPECT_TRUE(std::equal(init_.begin(), init_.end(), all.begin()));
  EXPECT_EQ(Find(all, FromHex("1D 23 02"), init_.size()), static_cast<long>(init_.size()));
  EXPECT_EQ(Find(all, FromHex("1D 23 01")), -1);
  EXPECT_EQ(Find(all, FromHex("1D 23 03")), -1);
  EXPECT_EQ(Find(all, FromHex("1C 71 01")), -1);
  EXPECT_TRUE(RamLogoLoaded()[0]);
  EXPECT_TRUE(RamLogoLoaded()[1]);
  EXPECT_FALSE(RamLogoLoaded()[2]);
  ExpectEnd(true);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(LogoDownloadJobTest, WholeDownloadIsOneDocumentInOrderAndRestoresPrintToFile) {
  // The file names differ in case from the names looked up.
  WriteLogos({"HORSE.bmp", "lion.bmp", "Map.BMP", "dragon.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  Links().PrintToFile = true;
  PrintToFileToRestore() = true;
  EXPECT_EQ(Download({true, true, true, true}), StartResult::Started);
  const Bytes all = rec->All();
  const long flash = Find(all, FromHex("1C 71 01"));
  const long one = Find(all, FromHex("1D 23 01"));
  const long two = Find(all, FromHex("1D 23 02"));
  const long three = Find(all, FromHex("1D 23 03"));
  EXPECT_EQ(flash, static_cast<long>(init_.size()));
  EXPECT_LT(flash, one);
  EXPECT_LT(one, two);
  EXPECT_LT(two, three);
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_FALSE(fs::exists(dir_.path() / kCommandFileName));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(RamLogoLoaded()[i]);
  ExpectEnd(true);
}

TEST_F(LogoDownloadJobTest, MissingDragonIsSkippedWithoutAReport) {
  WriteLogos({"Map.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  Download({.map = true, .dragon = true});
  EXPECT_EQ(Find(rec->All(), FromHex("1C 71 01")), -1);
  EXPECT_GE(Find(rec->All(), FromHex("1D 23 03")), 0);
  EXPECT_TRUE(RamLogoLoaded()[2]);
  ExpectEnd(true);
}

TEST_F(LogoDownloadJobTest, MissingRamLogoFailsAndClearsItsFlag) {
  WriteLogos({"Lion.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  Links().PrintToFile = false;
  PrintToFileToRestore() = true;
  Download({.horse = true, .lion = true});
  EXPECT_FALSE(RamLogoLoaded()[0]);
  EXPECT_FALSE(RamLogoLoaded()[1]);
  EXPECT_EQ(Find(rec->All(), FromHex("1D 23 02")), -1);
  EXPECT_TRUE(Links().PrintToFile);
  ExpectEnd(false);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(LogoDownloadJobTest, FailedFlashPrefixStopsTheDownload) {
  WriteLogos({"Dragon.bmp", "Horse.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  const size_t init_calls = init_calls_;
  rec->accept = [init_calls](size_t i) { return i < init_calls; };
  Download({.horse = true, .dragon = true});
  EXPECT_EQ(rec->Calls().size(), init_calls);
  EXPECT_TRUE(RamLogoLoaded()[0]);  // not attempted: unchanged
  ExpectEnd(false);
}

TEST_F(LogoDownloadJobTest, NoChoiceStillResetsThePrinterAndReportsDone) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  Download({});
  EXPECT_EQ(rec->All(), init_);
  ExpectEnd(true);
}

TEST_F(LogoDownloadJobTest, DocumentThatCannotStartSendsNothing) {
  WriteLogos({"Horse.bmp"});
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->start_ok = false;
  Links().PrintToFile = true;
  PrintToFileToRestore() = false;
  EXPECT_EQ(Download({.horse = true}), StartResult::NotStarted);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_FALSE(Links().PrintToFile);
  EXPECT_TRUE(rec->Calls().empty());
  ASSERT_EQ(window_.texts.size(), 1u);
  EXPECT_EQ(window_.texts[0].text, kDownloadingText);
  for (IndexButton b : kAllButtons) EXPECT_TRUE(window_.Enabled(b));
}

TEST_F(LogoDownloadJobTest, NothingChangesWhileAnotherSenderIsActive) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  Links().PrintToFile = true;
  SetDownloadChoices({.map = true});
  SendingScope other;
  EXPECT_EQ(Download({.horse = true}), StartResult::Busy);
  EXPECT_TRUE(Links().PrintToFile);
  EXPECT_TRUE(DownloadChoices().map);
  EXPECT_FALSE(DownloadChoices().horse);
  EXPECT_TRUE(window_.texts.empty());
  EXPECT_TRUE(rec->Calls().empty());
}

}  // namespace
}  // namespace tillvane::jobs
