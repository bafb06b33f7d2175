// How a worker job reaches the window: a function handed to the window's thread,
// while the worker waits for it to have run.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tillvane::jobs {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;

  // True when called on the window's thread.
  virtual bool OnWindowThread() const = 0;

  // Runs `fn` on the window's thread and returns once it has run; what `fn` throws is
  // thrown again here, in the caller. Called on the window's thread itself, it runs
  // `fn` at once and never blocks.
  virtual void Run(const std::function<void()>& fn) = 0;

  // On the window's thread: runs the calls that workers are waiting on now. Used
  // while the window's thread itself waits for its jobs to end.
  virtual void ProcessPending() = 0;
};

// A dispatcher whose "window's thread" is the thread that created it: workers queue
// their calls and wait, that thread runs them when it pumps. Used by the core tests
// and by any program without a window.
class QueueDispatcher : public Dispatcher {
 public:
  QueueDispatcher() : owner_(std::this_thread::get_id()) {}

  bool OnWindowThread() const override { return std::this_thread::get_id() == owner_; }
  void Run(const std::function<void()>& fn) override;
  void ProcessPending() override;

  // Pumps until `done` returns true (checked on the owner's thread between calls) or
  // `timeout_ms` have passed. Returns the last value of `done`.
  bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 60000);

  // Number of calls run so far.
  long Served() const;

 private:
  struct Call {
    const std::function<void()>* fn = nullptr;
    bool done = false;
    std::exception_ptr error;  // what the call threw, thrown again in the worker
  };
  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<Call*> calls_;
  long served_ = 0;
};

}  // namespace tillvane::jobs
