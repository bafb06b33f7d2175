// Helpers of the job tests: a window that records what the jobs change on it (and
// that every change comes on the window's thread), small monochrome BMP files, and
// running a job to its end with the queue dispatcher.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "session/dispatcher.h"
#include "session/job_thread.h"
#include "session/job_window.h"
#include "session/jobs.h"
#include "session/sender_gate.h"
#include "tests/support/recording.h"

namespace tillvane::jobs::testing {

struct StatusText {
  std::string text;
  Rgb colour;
};

class RecordingWindow : public JobWindow {
 public:
  void SetStatusText(const std::string& text, Rgb colour) override {
    Check();
    texts.push_back({text, colour});
  }
  void SetProgress(int32_t position) override {
    Check();
    positions.push_back(position);
  }
  void SetButtonEnabled(IndexButton button, bool on) override {
    Check();
    enabled[static_cast<size_t>(button)] = on;
  }
  bool Enabled(IndexButton b) const { return enabled[static_cast<size_t>(b)]; }

  std::vector<StatusText> texts;
  std::vector<int32_t> positions;
  std::array<bool, 5> enabled{true, true, true, true, true};
  int off_thread_calls = 0;

 private:
  void Check() {
    if (std::this_thread::get_id() != owner_) ++off_thread_calls;
  }
  std::thread::id owner_ = std::this_thread::get_id();
};

// The window's stop request as the jobs see it: a recording link can stand for a
// printer that stalls until the window closes.
inline bool JobsAskedToStop() {
  struct Peek : JobThread {
    using JobThread::StopRequested;
  };
  return Peek::StopRequested();
}

// An accept function for a recording link: takes `taken` writes, then stalls the next
// one until the window asks the jobs to stop, and fails it. `stalled` turns true when
// the stall begins.
inline std::function<bool(size_t)> StallUntilClosing(size_t taken, std::atomic<bool>& stalled) {
  return [taken, &stalled](size_t index) {
    if (index < taken) return true;
    stalled = true;
    while (!JobsAskedToStop()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
  };
}

// Pumps the dispatcher until every job has ended and its thread is joined.
inline void RunJobsToEnd(QueueDispatcher& dispatcher) {
  ASSERT_TRUE(dispatcher.PumpUntil([] { return RunningJobs() == 0; }));
  WaitForJobs(dispatcher);
}

// A 1-bit-per-pixel BMP of the plain 62-byte layout (file header, information
// header, two palette entries), every row a different pattern.
inline void WriteMonoBmp(const std::filesystem::path& path, int32_t width, int32_t height) {
  const int32_t row = ((width + 31) / 32) * 4;
  const int32_t image = row * height;
  const int32_t size = 62 + image;
  ::tillvane::testing::Bytes b(static_cast<size_t>(size), 0);
  auto put32 = [&](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i)
      b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, 62);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  b[26] = 1;  // planes
  b[28] = 1;  // bits per pixel
  put32(34, image);
  put32(38, 2835);
  put32(42, 2835);
  put32(46, 2);
  b[58] = b[59] = b[60] = 0xFF;  // palette: black, white
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < row; ++x)
      b[static_cast<size_t>(62 + y * row + x)] = static_cast<uint8_t>(y * 7 + x);
  ::tillvane::testing::WriteFileBytes(path, b);
}

// Where `needle` first occurs in `hay`, or -1.
inline long Find(const ::tillvane::testing::Bytes& hay, const ::tillvane::testing::Bytes& needle,
                 size_t from = 0) {
  if (needle.size() > hay.size()) return -1;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i)
    if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<long>(i)))
      return static_cast<long>(i);
  return -1;
}

}  // namespace tillvane::jobs::testing
