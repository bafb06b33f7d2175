// The calls workers hand to the window's thread, shared by every dispatcher: a worker
// queues its call and waits; the window's thread runs what is queued. Every hand-over
// is under this queue's own mutex, so the thread checkers see it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace tillvane::jobs {

class CallQueue {
 public:
  CallQueue() = default;
  // Calls still queued are released unrun; their workers go on.
  ~CallQueue();
  CallQueue(const CallQueue&) = delete;
  CallQueue& operator=(const CallQueue&) = delete;

  // From a worker: queues `fn`, calls `wake` (to rouse the window's thread) and waits
  // until `fn` has run there or was released unrun. What `fn` throws is thrown again
  // here.
  void RunAndWait(const std::function<void()>& fn, const std::function<void()>& wake = {});

  // On the window's thread: runs every queued call, those queued meanwhile included.
  void Drain();

  // Waits up to `timeout` for a call to be queued; true when one is.
  bool WaitForCall(std::chrono::milliseconds timeout);

  // Calls run so far.
  long Served() const;

 private:
  struct Call {
    const std::function<void()>* fn = nullptr;
    bool done = false;
    std::exception_ptr error;
  };
  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<Call*> calls_;
  long served_ = 0;
};

}  // namespace tillvane::jobs
