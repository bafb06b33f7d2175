// The window's dispatcher: a blocking queued call into the thread of its context
// object, run at once on that thread, and served while the window waits for its jobs.
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "app/qt_dispatcher.h"
#include "session/job_thread.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane {
namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "qt_dispatcher_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until `done` holds (checked every millisecond) or 10 s pass.
bool LoopUntil(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  poll.start(1);
  loop.exec();
  return done();
}

TEST(QtDispatcher, RunsAtOnceOnTheWindowThread) {
  App();
  QObject context;
  QtDispatcher d(&context);
  EXPECT_TRUE(d.OnWindowThread());
  bool ran = false;
  d.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(QtDispatcher, WorkerWaitsForTheCallOnTheWindowThread) {
  App();
  QObject context;
  QtDispatcher d(&context);
  QThread* window_thread = QThread::currentThread();
  std::atomic<bool> on_window{false}, after{false};
  int value = 0;
  std::thread worker([&] {
    EXPECT_FALSE(d.OnWindowThread());
    d.Run([&] {
      on_window = QThread::currentThread() == window_thread;
      value = 7;
    });
    after = value == 7;
  });
  EXPECT_TRUE(LoopUntil([&] { return after.load(); }));
  worker.join();
  EXPECT_TRUE(on_window);
}

class SyncLoopJob : public jobs::JobThread {
 public:
  SyncLoopJob(jobs::Dispatcher& d, std::atomic<int>& calls) : JobThread(d), calls_(calls) {}

 protected:
  void Execute() override {
    while (!StopRequested()) Synchronize([&] { ++calls_; });
    Synchronize([&] { calls_ += 1000; });  // the end call still runs
  }

 private:
  std::atomic<int>& calls_;
};

TEST(QtDispatcher, ClosingWindowServesTheJobsItWaitsFor) {
  App();
  QObject context;
  QtDispatcher d(&context);
  std::atomic<int> calls{0};
  jobs::JobThread::Start(std::make_unique<SyncLoopJob>(d, calls));
  EXPECT_TRUE(LoopUntil([&] { return calls >= 5; }));
  // Outside any event loop, as in a close handler.
  jobs::StopJobsAndWait(d);
  EXPECT_EQ(jobs::RunningJobs(), 0);
  EXPECT_GE(calls.load(), 1005);
}

TEST(QtDispatcher, CommandFileStreamThroughTheEventLoop) {
  App();
  ::tillvane::testing::ScopedTempDir dir;
  auto rec = ::tillvane::testing::OpenRecordingLink(LinkKind::Usb);
  Links().Kind = LinkKind::Usb;
  ::tillvane::testing::WriteFileBytes(dir.path() / "f.dat", ::tillvane::testing::Bytes(3000, 0x41));
  QObject context;
  QtDispatcher d(&context);
  jobs::testing::RecordingWindow window;
  ASSERT_EQ(
      jobs::StartCommandFileStream(d, window, (dir.path() / "f.dat").string(), dir.path().string()),
      jobs::StartResult::Started);
  EXPECT_TRUE(LoopUntil([] { return jobs::RunningJobs() == 0; }));
  jobs::StopJobsAndWait(d);
  EXPECT_EQ(window.off_thread_calls, 0);
  ASSERT_EQ(window.texts.size(), 3u);
  EXPECT_EQ(window.texts.back().text, "3000/3000bytes");
  EXPECT_EQ(window.positions, (std::vector<int32_t>{34, 68, 100, 0}));
  EXPECT_FALSE(SendingInProgress());
  ResetLinkState();
}

}  // namespace
}  // namespace tillvane
