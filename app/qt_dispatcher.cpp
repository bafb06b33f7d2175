#include "app/qt_dispatcher.h"

#include <QMetaObject>
#include <QThread>

namespace tillvane {

CallInbox::~CallInbox() {
  std::lock_guard lock(mutex_);
  for (Call* c : calls_) c->done = true;
  calls_.clear();
  done_cv_.notify_all();
}

void CallInbox::RunAndWait(const std::function<void()>& fn) {
  Call call{&fn, false, nullptr};
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(&call);
  }
  QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  done_cv_.wait(lock, [&] { return call.done; });
  if (call.error) std::rethrow_exception(call.error);
}

void CallInbox::Drain() {
  for (;;) {
    Call* call = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) return;
      call = calls_.front();
      calls_.pop_front();
    }
    std::exception_ptr error;
    try {
      (*call->fn)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      call->error = error;
      call->done = true;
    }
    done_cv_.notify_all();
  }
}

bool QtDispatcher::OnWindowThread() const {
  return QThread::currentThread() == context_->thread();
}

void QtDispatcher::Run(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    // A call into one's own thread that waited would wait forever.
    fn();
    return;
  }
  inbox_->RunAndWait(fn);
}

void QtDispatcher::ProcessPending() {
  // Only the calls that workers wait on: no input, no other handler runs while the
  // window waits for its jobs.
  inbox_->Drain();
}

}  // namespace tillvane
