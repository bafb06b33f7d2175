// The thread base of the background jobs. A job is created suspended (nothing runs
// until it is started), runs Execute on a thread of its own, frees itself when
// Execute returns, and touches the window only through Synchronize, which runs a
// function on the window's thread while the worker waits.
//
// Ownership: the creator holds the suspended job in a unique_ptr and may simply drop
// it (the job is then discarded without having run). Start hands the object to its
// own thread, which deletes it when Execute returns. The threads themselves are kept
// in a program-wide list and joined, so that the window can end every job before it
// closes (StopJobsAndWait) and no thread outlives the objects it uses.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "session/dispatcher.h"

namespace tillvane::jobs {

class JobThread {
 public:
  explicit JobThread(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}
  virtual ~JobThread() = default;
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Resumes a suspended job: Execute runs on a new thread, and the object is deleted
  // there when Execute returns (an exception leaving Execute is caught and ends it
  // the same way).
  static void Start(std::unique_ptr<JobThread> job);

 protected:
  virtual void Execute() = 0;

  // Runs `fn` on the window's thread; returns once it has run.
  void Synchronize(const std::function<void()>& fn) { dispatcher_.Run(fn); }

  // True once the window asked every job to end (it is closing). Jobs look at it
  // between two sends and then finish as after their last send.
  static bool StopRequested();

 private:
  static void Run(JobThread* job);
  Dispatcher& dispatcher_;
};

// Number of jobs started whose Execute has not yet returned.
int RunningJobs();

// For the window's close handler, on the window's thread: asks every running job to
// stop at its next send boundary, then waits until all have ended, running their
// synchronised calls meanwhile (each job still makes its end call: the print-queue
// document is ended, the sender gate released). The stop request is withdrawn
// when every job has ended.
void StopJobsAndWait(Dispatcher& dispatcher);

// For tests: joins every thread whose job has ended, and waits for the rest without
// asking them to stop (the dispatcher is pumped meanwhile).
void WaitForJobs(Dispatcher& dispatcher);

}  // namespace tillvane::jobs
