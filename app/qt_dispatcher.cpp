#include "app/qt_dispatcher.h"

#include <QCoreApplication>
#include <QThread>

namespace tillvane {

bool QtDispatcher::OnWindowThread() const {
  return QThread::currentThread() == context_->thread();
}

void QtDispatcher::Run(const std::function<void()>& fn) {
  if (OnWindowThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(
      context_, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtDispatcher::ProcessPending() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace tillvane
