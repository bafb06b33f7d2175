// The thread base: suspended creation, self-deletion when Execute returns, and
// synchronised calls that run on the window's thread while the worker waits.
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "session/dispatcher.h"
#include "session/job_thread.h"
#include "tests/jobs/job_test_support.h"

namespace tillvane::jobs {
namespace {

struct Probe {
  std::atomic<int> executed{0};
  std::atomic<bool> deleted{false};
  std::thread::id deleted_on;
  std::thread::id synchronised_on;
  int seen_after_sync = -1;
};

class ProbeJob : public JobThread {
 public:
  ProbeJob(Dispatcher& d, Probe& p, bool fail = false) : JobThread(d), probe_(p), fail_(fail) {}
  ~ProbeJob() override {
    probe_.deleted_on = std::this_thread::get_id();
    probe_.deleted = true;
  }

 protected:
  void Execute() override {
    ++probe_.executed;
    if (fail_) throw std::runtime_error("job failed");
    int value = 0;
    Synchronize([&] {
      probe_.synchronised_on = std::this_thread::get_id();
      value = 42;
    });
    probe_.seen_after_sync = value;  // the worker waited for the call
  }

 private:
  Probe& probe_;
  bool fail_;
};

TEST(JobThread, SuspendedJobDiscardedWithoutRunning) {
  QueueDispatcher d;
  Probe p;
  { auto job = std::make_unique<ProbeJob>(d, p); }
  EXPECT_EQ(p.executed, 0);
  EXPECT_TRUE(p.deleted);
  EXPECT_EQ(RunningJobs(), 0);
}

TEST(JobThread, StartedJobSynchronisesOnTheWindowThreadAndFreesItself) {
  QueueDispatcher d;
  Probe p;
  JobThread::Start(std::make_unique<ProbeJob>(d, p));
  testing::RunJobsToEnd(d);
  EXPECT_EQ(p.executed, 1);
  EXPECT_EQ(p.synchronised_on, std::this_thread::get_id());
  EXPECT_EQ(p.seen_after_sync, 42);
  EXPECT_TRUE(p.deleted);
  EXPECT_NE(p.deleted_on, std::this_thread::get_id());
  EXPECT_EQ(d.Served(), 1);
}

TEST(JobThread, ExceptionEndsTheJobLikeAReturn) {
  QueueDispatcher d;
  Probe p;
  JobThread::Start(std::make_unique<ProbeJob>(d, p, true));
  testing::RunJobsToEnd(d);
  EXPECT_TRUE(p.deleted);
  EXPECT_EQ(RunningJobs(), 0);
}

TEST(JobThread, ManyJobsAtOnceAllEnd) {
  QueueDispatcher d;
  std::vector<Probe> probes(8);
  for (auto& p : probes) JobThread::Start(std::make_unique<ProbeJob>(d, p));
  StopJobsAndWait(d);
  for (auto& p : probes) {
    EXPECT_TRUE(p.deleted);
    EXPECT_EQ(p.seen_after_sync, 42);
  }
  EXPECT_EQ(d.Served(), 8);
}

TEST(QueueDispatcher, CallOnItsOwnThreadRunsAtOnce) {
  QueueDispatcher d;
  bool ran = false;
  d.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(d.Served(), 0);
}

TEST(QueueDispatcher, ACallThatThrowsIsDoneAndItsExceptionReachesTheWorker) {
  QueueDispatcher d;
  std::atomic<bool> caught{false}, after{false};
  std::thread worker([&] {
    try {
      d.Run([] { throw std::runtime_error("window call failed"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "window call failed";
    }
    d.Run([&] { after = true; });  // the dispatcher still serves calls
  });
  EXPECT_TRUE(d.PumpUntil([&] { return after.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(caught);
  EXPECT_EQ(d.Served(), 2);
}

}  // namespace
}  // namespace tillvane::jobs
