#include "app/qt_dispatcher.h"

#include <QMetaObject>
#include <QThread>

namespace tillvane {

void CallInbox::RunAndWait(const std::function<void()>& fn) {
  calls_.RunAndWait(fn, [this] { QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection); });
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
