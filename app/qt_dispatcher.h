// The background jobs' way into the window's thread, for a Qt program: a blocking
// queued call into the thread of a QObject that lives there.
#pragma once

#include <QObject>

#include "link/jobs/dispatcher.h"

namespace tillvane {

class QtDispatcher : public jobs::Dispatcher {
 public:
  // `context` lives on the window's thread and outlives every job.
  explicit QtDispatcher(QObject* context) : context_(context) {}
  bool OnWindowThread() const override;
  void Run(const std::function<void()>& fn) override;
  void ProcessPending() override;

 private:
  QObject* context_;
};

}  // namespace tillvane
