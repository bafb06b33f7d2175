// The command-file stream: block sizes per link, progress texts and positions, the
// end call, failures, the print-queue document, the sender gate and stopping on close.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "link/send_data.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane::jobs {
namespace {

using testing::RecordingWindow;
using ::tillvane::testing::Bytes;
namespace fs = std::filesystem;

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  return b;
}

class FileStreamJobTest : public ::testing::Test {
 protected:
  void TearDown() override {
    testing::RunJobsToEnd(dispatcher_);
    EXPECT_FALSE(SendingInProgress());
    EXPECT_EQ(window_.off_thread_calls, 0);
    ResetLinkState();
  }

  fs::path WriteFile(const std::string& name, const Bytes& bytes) {
    fs::path p = dir_.path() / name;
    ::tillvane::testing::WriteFileBytes(p, bytes);
    return p;
  }

  StartResult Start(const fs::path& file) {
    return StartCommandFileStream(dispatcher_, window_, file.string(), dir_.path().string());
  }

  StartResult Stream(const fs::path& file) {
    StartResult r = Start(file);
    testing::RunJobsToEnd(dispatcher_);
    return r;
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (auto& t : window_.texts) {
      EXPECT_EQ(t.colour, kNavy) << t.text;
      out.push_back(t.text);
    }
    return out;
  }

  ::tillvane::testing::ScopedTempDir dir_;
  ::tillvane::testing::MessageRecorder messages_;
  QueueDispatcher dispatcher_;
  RecordingWindow window_;
};

TEST_F(FileStreamJobTest, EmptyFileOnSerialSendsNothingAndOnlyResetsTheBar) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  EXPECT_EQ(Stream(WriteFile("empty.dat", {})), StartResult::Started);
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_TRUE(window_.texts.empty());
  EXPECT_EQ(window_.positions, std::vector<int32_t>{0});
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(FileStreamJobTest, UsbSendsWholeBlocksThenTheRemainder) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  const Bytes data = Pattern(2500);
  Stream(WriteFile("a.dat", data));
  auto calls = rec->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].size(), 1024u);
  EXPECT_EQ(calls[1].size(), 1024u);
  EXPECT_EQ(calls[2].size(), 452u);
  EXPECT_EQ(rec->All(), data);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"1024/2500bytes", "2048/2500bytes", "2500/2500bytes"}));
  EXPECT_EQ(window_.positions, (std::vector<int32_t>{40, 81, 100, 0}));
}

TEST_F(FileStreamJobTest, UsbFileOfWholeBlocksEndsWithAnEmptySend) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  Stream(WriteFile("b.dat", Pattern(2048)));
  auto calls = rec->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].size(), 0u);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"1024/2048bytes", "2048/2048bytes", "2048/2048bytes"}));
  EXPECT_EQ(window_.positions, (std::vector<int32_t>{50, 100, 100, 0}));
}

TEST_F(FileStreamJobTest, EmptyFileOnUsbCountsAsWhollySent) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  Stream(WriteFile("e.dat", {}));
  ASSERT_EQ(rec->Calls().size(), 1u);
  EXPECT_EQ(Texts(), std::vector<std::string>{"0/0bytes"});
  EXPECT_EQ(window_.positions, (std::vector<int32_t>{100, 0}));
}

TEST_F(FileStreamJobTest, ByteLinksSendOneBytePerCallAndShowTheFinalCount) {
  for (LinkKind kind : {LinkKind::Parallel, LinkKind::Serial}) {
    auto rec = ::tillvane::testing::OpenRecordingLink(kind);
    Links().Kind = kind;
    window_ = RecordingWindow();
    const Bytes data = Pattern(300);
    Stream(WriteFile("c.dat", data));
    auto calls = rec->Calls();
    ASSERT_EQ(calls.size(), 300u) << kind;
    for (auto& c : calls) ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(rec->All(), data);
    ASSERT_FALSE(window_.texts.empty());
    EXPECT_EQ(window_.texts.back().text, "300/300bytes");
    ASSERT_GE(window_.positions.size(), 2u);
    EXPECT_EQ(window_.positions[window_.positions.size() - 2], 100);
    EXPECT_EQ(window_.positions.back(), 0);
  }
}

TEST_F(FileStreamJobTest, NoLinkSendsNothingAndStillEnds) {
  ResetLinkState();
  Stream(WriteFile("d.dat", Pattern(10)));
  EXPECT_TRUE(window_.texts.empty());
  EXPECT_EQ(window_.positions, std::vector<int32_t>{0});
}

// Counts and checksums what it takes, without keeping each call.
class CountingSerial : public SerialBackend {
 public:
  int32_t Write(const uint8_t* b, int32_t n) override {
    for (int32_t i = 0; i < n; ++i) sum = sum * 131 + b[i] + 1;
    count += static_cast<uint64_t>(n);
    ++calls;
    return n;
  }
  bool Purge() override { return true; }
  int32_t ReceiveQueueCount() override { return 0; }
  uint64_t count = 0, calls = 0, sum = 0;
};

TEST_F(FileStreamJobTest, LargeSparseFileClimbsToOneHundredWithFewWindowCalls) {
  constexpr int64_t kSize = 3 * 1024 * 1024 + 17;
  const fs::path file = dir_.path() / "big.dat";
  {
    int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    const uint8_t marks[] = {0x1B, 0x40, 0xFF};
    for (int64_t at : {int64_t{0}, int64_t{65535}, int64_t{65536}, kSize - 3})
      ASSERT_EQ(::pwrite(fd, marks, 3, at), 3);
    ::close(fd);
  }
  uint64_t expected_sum = 0;
  {
    Bytes all = ::tillvane::testing::ReadFileBytes(file);
    for (uint8_t c : all) expected_sum = expected_sum * 131 + c + 1;
  }
  ResetLinkState();
  auto counting = std::make_unique<CountingSerial>();
  CountingSerial* serial = counting.get();
  SetLink(std::move(counting));
  Links().Kind = LinkKind::Serial;

  const auto begin = std::chrono::steady_clock::now();
  Stream(file);
  const auto elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - begin)
                              .count();

  EXPECT_EQ(serial->count, static_cast<uint64_t>(kSize));
  EXPECT_EQ(serial->calls, static_cast<uint64_t>(kSize));
  EXPECT_EQ(serial->sum, expected_sum);
  ASSERT_FALSE(window_.texts.empty());
  EXPECT_EQ(window_.texts.back().text,
            std::to_string(kSize) + "/" + std::to_string(kSize) + "bytes");
  // Positions never fall while the file is sent, end at 100, then the bar is reset.
  ASSERT_GE(window_.positions.size(), 2u);
  for (size_t i = 1; i + 1 < window_.positions.size(); ++i)
    EXPECT_LE(window_.positions[i - 1], window_.positions[i]);
  EXPECT_EQ(window_.positions[window_.positions.size() - 2], 100);
  EXPECT_EQ(window_.positions.back(), 0);
  // Progress calls come at most about once per interval, the last one always.
  EXPECT_LE(static_cast<int64_t>(window_.texts.size()),
            elapsed_ms / (FileStreamJob::kProgressIntervalMs - 1) + 2);
}

TEST_F(FileStreamJobTest, FileThatCannotBeOpenedEndsSilentlyButClosesTheDocument) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  for (const fs::path& p : {dir_.path() / "missing.dat", dir_.path()}) {
    window_ = RecordingWindow();
    EXPECT_EQ(Stream(p), StartResult::Started);
    EXPECT_TRUE(window_.texts.empty());
    EXPECT_TRUE(window_.positions.empty());
  }
  EXPECT_TRUE(messages_.Messages().empty());
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_EQ(rec->starts, 2);
  EXPECT_EQ(rec->ends, 2);
}

TEST_F(FileStreamJobTest, FailedSendShowsTheMessageAndTheLastCountSent) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  rec->accept = [](size_t i) { return i < 5; };
  Stream(WriteFile("f.dat", Pattern(100)));
  EXPECT_EQ(rec->Calls().size(), 5u);
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kDataNotSentMessage});
  ASSERT_FALSE(window_.texts.empty());
  EXPECT_EQ(window_.texts.back().text, "5/100bytes");
  EXPECT_EQ(window_.positions.back(), 0);
}

TEST_F(FileStreamJobTest, FileCutShortWhileStreamingStopsWithTheMessage) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  const fs::path file = WriteFile("short.dat", Pattern(70000));
  rec->accept = [file](size_t i) {
    if (i == 10) fs::resize_file(file, 100);
    return true;
  };
  Stream(file);
  // What had been read before the cut is sent; nothing beyond what the file held.
  EXPECT_EQ(rec->Calls().size(), 65536u);
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kDataNotSentMessage});
  EXPECT_EQ(window_.texts.back().text, "65536/70000bytes");
  EXPECT_EQ(window_.positions.back(), 0);
}

TEST_F(FileStreamJobTest, FailedUsbBlockShowsTheMessage) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  rec->accept = [](size_t i) { return i < 1; };
  Stream(WriteFile("g.dat", Pattern(3000)));
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kDataNotSentMessage});
  EXPECT_EQ(Texts(), std::vector<std::string>{"1024/3000bytes"});
  EXPECT_EQ(window_.positions, (std::vector<int32_t>{34, 0}));
}

TEST_F(FileStreamJobTest, PrintQueueStreamIsOneDocument) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  const Bytes data = Pattern(200);
  Stream(WriteFile("q.dat", data));
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_EQ(rec->All(), data);
  EXPECT_TRUE((OpenLinkKind() == LinkKind::PrintQueue));
}

TEST_F(FileStreamJobTest, FailedQueueWriteEndsTheDocumentOnce) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->accept = [](size_t i) { return i < 3; };
  Stream(WriteFile("q.dat", Pattern(50)));
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(messages_.Messages().size(), 1u);
}

TEST_F(FileStreamJobTest, DocumentThatCannotStartClosesTheQueueAndStartsNothing) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->start_ok = false;
  EXPECT_EQ(Start(WriteFile("q.dat", Pattern(5))), StartResult::NotStarted);
  EXPECT_EQ(RunningJobs(), 0);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_FALSE(SendingInProgress());
  EXPECT_TRUE(rec->Calls().empty());
}

TEST_F(FileStreamJobTest, StarterNeverCopiesToTheCommandFileAndMovesToTheProgramFolder) {
  ::tillvane::testing::ScopedTempDir elsewhere;
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
  Links().Kind = LinkKind::Serial;
  Links().PrintToFile = true;
  ASSERT_TRUE(BeginCommandFileChoice());
  EXPECT_FALSE(Links().PrintToFile);
  Links().PrintToFile = true;
  // A relative name is taken against the folder current when it was chosen.
  ::tillvane::testing::WriteFileBytes(elsewhere.path() / "rel.dat", Pattern(4));
  EXPECT_EQ(StartCommandFileStream(dispatcher_, window_, "rel.dat", dir_.path().string()),
            StartResult::Started);
  testing::RunJobsToEnd(dispatcher_);
  EXPECT_EQ(fs::current_path(), dir_.path());
  EXPECT_EQ(CommandFileName(), (elsewhere.path() / "rel.dat").string());
  EXPECT_EQ(rec->All(), Pattern(4));
  EXPECT_FALSE(fs::exists(dir_.path() / kCommandFileName));
  EXPECT_FALSE(fs::exists(elsewhere.path() / kCommandFileName));
}

TEST_F(FileStreamJobTest, EmptyNameStartsNothing) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  EXPECT_EQ(StartCommandFileStream(dispatcher_, window_, "", dir_.path().string()),
            StartResult::NotStarted);
  EXPECT_EQ(rec->starts, 0);
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(FileStreamJobTest, NothingStartsWhileAnotherSenderIsActive) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  Links().PrintToFile = true;
  SetCommandFileName("before");
  {
    SendingScope other;
    ASSERT_TRUE(other.held());
    EXPECT_FALSE(BeginCommandFileChoice());
    EXPECT_EQ(Start(WriteFile("h.dat", Pattern(3))), StartResult::Busy);
    EXPECT_TRUE(Links().PrintToFile);
    EXPECT_EQ(CommandFileName(), "before");
    EXPECT_EQ(rec->starts, 0);
    EXPECT_EQ(RunningJobs(), 0);
  }
  EXPECT_TRUE(SendingInProgress() == false);
}

TEST_F(FileStreamJobTest, RunningStreamHoldsTheGateAndStopsCleanlyOnClose) {
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
  Links().Kind = LinkKind::PrintQueue;
  rec->accept = [](size_t) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return true;
  };
  ASSERT_EQ(Start(WriteFile("slow.dat", Pattern(100000))), StartResult::Started);
  ASSERT_TRUE(dispatcher_.PumpUntil([&] { return !window_.texts.empty(); }));
  EXPECT_TRUE(SendingInProgress());
  EXPECT_FALSE(TryBeginSending());
  EXPECT_EQ(Start(WriteFile("other.dat", Pattern(3))), StartResult::Busy);

  StopJobsAndWait(dispatcher_);
  EXPECT_EQ(RunningJobs(), 0);
  EXPECT_FALSE(SendingInProgress());
  const size_t sent = rec->Calls().size();
  EXPECT_LT(sent, 100000u);
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  // The window shows the count really sent, then the bar is reset; no message.
  EXPECT_EQ(window_.texts.back().text, std::to_string(sent) + "/100000bytes");
  EXPECT_EQ(window_.positions.back(), 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(FileStreamJobTest, ASendThatFailsBecauseTheWindowClosesEndsSilently) {
  const fs::path file = WriteFile("stall.dat", Pattern(300000));
  for (LinkKind kind : {LinkKind::Serial, LinkKind::Usb, LinkKind::PrintQueue}) {
    auto rec = ::tillvane::testing::OpenRecordingLink(kind);
    Links().Kind = kind;
    std::atomic<bool> stalled{false};
    rec->accept = testing::StallUntilClosing(100, stalled);
    ASSERT_EQ(Start(file), StartResult::Started) << kind;
    ASSERT_TRUE(dispatcher_.PumpUntil([&] { return stalled.load(); })) << kind;
    StopJobsAndWait(dispatcher_);
    EXPECT_EQ(RunningJobs(), 0);
    EXPECT_FALSE(SendingInProgress());
    EXPECT_TRUE(messages_.Messages().empty()) << kind;
    EXPECT_EQ(rec->Calls().size(), 100u) << kind;
    EXPECT_EQ(window_.positions.back(), 0) << kind;
    if (kind == LinkKind::PrintQueue) EXPECT_EQ(rec->ends, 1);  // ended by the failed write
  }
}

TEST(JobHelpers, ProgressPercentRoundsDownAndNeverDividesByZero) {
  EXPECT_EQ(ProgressPercent(1024, 2500), 40);
  EXPECT_EQ(ProgressPercent(2048, 2500), 81);
  EXPECT_EQ(ProgressPercent(2499, 2500), 99);
  EXPECT_EQ(ProgressPercent(0, 0), 100);
  EXPECT_EQ(ProgressPercent(int64_t{5'000'000'000}, int64_t{10'000'000'000}), 50);
}

TEST(JobHelpers, FileLookupIgnoresCase) {
  ::tillvane::testing::ScopedTempDir dir;
  ::tillvane::testing::WriteFileBytes(dir.path() / "horse.BMP", {1});
  EXPECT_EQ(FindFileNoCase(dir.path().string(), "Horse.bmp"), (dir.path() / "horse.BMP").string());
  EXPECT_EQ(FindFileNoCase(dir.path().string(), "Lion.bmp"), (dir.path() / "Lion.bmp").string());
}

}  // namespace
}  // namespace tillvane::jobs
