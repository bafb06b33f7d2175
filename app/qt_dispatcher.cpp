#include "app/qt_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <atomic>

namespace tillvane {

bool QtDispatcher::OnWindowThread() const {
  return QThread::currentThread() == context_->thread();
}

void QtDispatcher::Run(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    // A blocking queued call into one's own thread would wait forever.
    fn();
    return;
  }
  // The hand-over to the window's thread and back also goes through this atomic, so
  // that tools which cannot see inside Qt's semaphores (ThreadSanitizer with an
  // uninstrumented Qt) see the order: what the worker did before the call, then the
  // call, then what the worker does after it.
  std::atomic<int> stage{0};
  stage.store(1, std::memory_order_release);
  QMetaObject::invokeMethod(
      context_,
      [&fn, &stage] {
        (void)stage.load(std::memory_order_acquire);
        fn();
        stage.store(2, std::memory_order_release);
      },
      Qt::BlockingQueuedConnection);
  (void)stage.load(std::memory_order_acquire);
}

void QtDispatcher::ProcessPending() {
  // Only the queued calls meant for the context object: no input, no other handler
  // runs while the window waits for its jobs.
  QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
}

}  // namespace tillvane
