#include "session/call_queue.h"

namespace tillvane::jobs {

CallQueue::~CallQueue() {
  std::lock_guard lock(mutex_);
  for (Call* c : calls_) c->done = true;
  calls_.clear();
  finished_.notify_all();
}

void CallQueue::RunAndWait(const std::function<void()>& fn, const std::function<void()>& wake) {
  Call call;
  call.fn = &fn;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(&call);
  }
  queued_.notify_all();
  if (wake) wake();
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return call.done; });
  if (call.error) std::rethrow_exception(call.error);
}

void CallQueue::Drain() {
  std::unique_lock lock(mutex_);
  while (!calls_.empty()) {
    Call* call = calls_.front();
    calls_.pop_front();
    lock.unlock();
    std::exception_ptr error;
    try {
      (*call->fn)();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    call->error = error;
    call->done = true;
    ++served_;
    finished_.notify_all();
  }
}

bool CallQueue::WaitForCall(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return queued_.wait_for(lock, timeout, [&] { return !calls_.empty(); });
}

long CallQueue::Served() const {
  std::lock_guard lock(mutex_);
  return served_;
}

}  // namespace tillvane::jobs
