#include "session/dispatcher.h"

#include <chrono>

namespace tillvane::jobs {

void QueueDispatcher::Run(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    fn();
    return;
  }
  calls_.RunAndWait(fn);
}

void QueueDispatcher::ProcessPending() {
  calls_.Drain();
}

bool QueueDispatcher::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    calls_.Drain();
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    calls_.WaitForCall(std::chrono::milliseconds(1));
  }
}

}  // namespace tillvane::jobs
