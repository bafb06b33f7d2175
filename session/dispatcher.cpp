#include "session/dispatcher.h"

#include <chrono>

namespace tillvane::jobs {

void QueueDispatcher::Run(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    fn();
    return;
  }
  Call call;
  call.fn = &fn;
  std::unique_lock lock(mutex_);
  calls_.push_back(&call);
  queued_.notify_all();
  finished_.wait(lock, [&] { return call.done; });
  if (call.error) std::rethrow_exception(call.error);
}

void QueueDispatcher::ProcessPending() {
  std::unique_lock lock(mutex_);
  while (!calls_.empty()) {
    Call* call = calls_.front();
    calls_.pop_front();
    lock.unlock();
    try {
      (*call->fn)();
    } catch (...) {
      call->error = std::current_exception();
    }
    lock.lock();
    call->done = true;
    ++served_;
    finished_.notify_all();
  }
}

bool QueueDispatcher::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    ProcessPending();
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::unique_lock lock(mutex_);
    queued_.wait_for(lock, std::chrono::milliseconds(1), [&] { return !calls_.empty(); });
  }
}

long QueueDispatcher::Served() const {
  std::lock_guard lock(mutex_);
  return served_;
}

}  // namespace tillvane::jobs
