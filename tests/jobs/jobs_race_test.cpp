// Each job against a second sender and a window closing meanwhile: the second sender
// never gets the gate while the job runs, its bytes never fall among the job's, the
// closing window ends the job cleanly (its document ended, the gate released).
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "config/current_model.h"
#include "documents/ticket.h"
#include "link/send_data.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane::jobs {
namespace {

using testing::RecordingWindow;
using ::tillvane::testing::Bytes;

const Bytes kMarker = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};

class JobsRaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCurrentModel("TEST-80", 80);
    rec_ = ::tillvane::testing::OpenRecordingLink(LinkKind::PrintQueue);
    Links().Kind = LinkKind::PrintQueue;
    rec_->accept = [](size_t) {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      return true;
    };
  }
  void TearDown() override { ResetLinkState(); }

  // Starts a job, lets a second sender hammer the gate from another thread while the
  // window tries to start the other jobs and then closes. Returns the job's calls
  // (everything before the second sender's first call).
  std::vector<Bytes> Race(const std::function<StartResult()>& start) {
    if (start() != StartResult::Started) {
      ADD_FAILURE() << "the job did not start";
      return {};
    }
    std::atomic<bool> quit{false};
    std::atomic<int> gate_while_running{0};
    std::thread second([&] {
      while (!quit) {
        SendingScope s;
        if (s.held()) {
          // The job ends its document in its end call, before it lets go of the gate.
          int ends = 0;
          {
            std::lock_guard lock(rec_->mutex);
            ends = rec_->ends;
          }
          if (ends == 0) ++gate_while_running;
          SendData(kMarker.data(), static_cast<int32_t>(kMarker.size()));
        }
        std::this_thread::yield();
      }
    });
    // Let the job make some progress, then try the other starters from the window.
    dispatcher_.PumpUntil([&] { return rec_->Calls().size() >= 3; }, 10000);
    EXPECT_EQ(StartRepeatedDemo(dispatcher_, false, "1", 0), StartResult::Busy);
    EXPECT_EQ(StartCommandFileStream(dispatcher_, window_, "/dev/null", dir_.path().string()),
              StartResult::Busy);
    EXPECT_EQ(StartLogoDownload(dispatcher_, other_window_, {}, dir_.path().string()),
              StartResult::Busy);
    EXPECT_FALSE(BeginCommandFileChoice());
    StopJobsAndWait(dispatcher_);
    EXPECT_EQ(RunningJobs(), 0);
    // The second sender gets its turn once the job has ended.
    dispatcher_.PumpUntil([&] { return !rec_->Calls().empty() && rec_->Calls().back() == kMarker; },
                          10000);
    quit = true;
    second.join();
    EXPECT_EQ(gate_while_running, 0);
    EXPECT_EQ(rec_->starts, 1);
    EXPECT_EQ(rec_->ends, 1);
    EXPECT_EQ(window_.off_thread_calls, 0);
    auto calls = rec_->Calls();
    size_t first_marker = calls.size();
    for (size_t i = 0; i < calls.size(); ++i)
      if (calls[i] == kMarker) {
        first_marker = i;
        break;
      }
    for (size_t i = first_marker; i < calls.size(); ++i) EXPECT_EQ(calls[i], kMarker) << i;
    return {calls.begin(), calls.begin() + static_cast<long>(first_marker)};
  }

  ::tillvane::testing::ScopedTempDir dir_;
  ::tillvane::testing::MessageRecorder messages_;
  QueueDispatcher dispatcher_;
  RecordingWindow window_;
  RecordingWindow other_window_;
  std::shared_ptr<::tillvane::testing::Recording> rec_;
};

TEST_F(JobsRaceTest, CommandFileStream) {
  Bytes data(20000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 0x80);
  ::tillvane::testing::WriteFileBytes(dir_.path() / "cmd.dat", data);
  auto calls = Race([&] {
    return StartCommandFileStream(dispatcher_, window_, (dir_.path() / "cmd.dat").string(),
                                  dir_.path().string());
  });
  ASSERT_LT(calls.size(), data.size());
  for (size_t i = 0; i < calls.size(); ++i) ASSERT_EQ(calls[i], Bytes{data[i]}) << i;
  EXPECT_EQ(window_.positions.back(), 0);
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(JobsRaceTest, RepeatedDemoStopsBetweenReceipts) {
  // One receipt's calls, recorded without the job.
  std::vector<Bytes> one;
  {
    auto r = ::tillvane::testing::OpenRecordingLink(LinkKind::Serial);
    Links().Kind = LinkKind::Serial;
    ASSERT_EQ(SampleTicket(0), 0);
    one = r->Calls();
    SetUp();
  }
  auto calls = Race([&] { return StartRepeatedDemo(dispatcher_, false, "100", 0); });
  ASSERT_FALSE(one.empty());
  EXPECT_EQ(calls.size() % one.size(), 0u);
  EXPECT_LT(calls.size(), one.size() * 100);
  for (size_t i = 0; i < calls.size(); ++i) ASSERT_EQ(calls[i], one[i % one.size()]) << i;
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(JobsRaceTest, LogoDownload) {
  for (const char* n : {"Horse.bmp", "Lion.bmp", "Map.bmp", "Dragon.bmp"})
    testing::WriteMonoBmp(dir_.path() / n, 64, 48);
  rec_->accept = [](size_t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
  };
  Links().PrintToFile = false;
  PrintToFileToRestore() = true;
  Race([&] {
    return StartLogoDownload(dispatcher_, window_, {true, true, true, true}, dir_.path().string());
  });
  // Stopped or finished, the download ended as a download ends.
  ASSERT_EQ(window_.texts.size(), 2u);
  EXPECT_TRUE(window_.Enabled(IndexButton::Exit));
  EXPECT_TRUE(window_.Enabled(IndexButton::PortOption));
  EXPECT_TRUE(Links().PrintToFile);
}

}  // namespace
}  // namespace tillvane::jobs
