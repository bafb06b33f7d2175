// The dispatcher of the program: runs a job's synchronised call on the window's
// thread with a blocking queued call, and at once when already on that thread.
// The window owns one and hands it to the job starters (link/jobs/starters.h).
#pragma once

#include <QObject>
#include <functional>

#include "link/jobs/dispatcher.h"

namespace tillvane {

class QtDispatcher : public jobs::Dispatcher {
 public:
  // `context` lives on the window's thread (the window itself, or any object of
  // that thread) and must outlive every job: the close handler ends the jobs first.
  explicit QtDispatcher(QObject* context) : context_(context) {}

  bool OnWindowThread() const override;
  void Run(const std::function<void()>& fn) override;
  void ProcessPending() override;

 private:
  QObject* context_;
};

}  // namespace tillvane
