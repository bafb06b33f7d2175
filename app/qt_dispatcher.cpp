#include "app/qt_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

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
  QMetaObject::invokeMethod(
      context_, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtDispatcher::ProcessPending() {
  // Only the queued calls meant for the context object: no input, no other handler
  // runs while the window waits for its jobs.
  QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
}

}  // namespace tillvane
