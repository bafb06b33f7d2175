// The dispatcher of the program: runs a job's synchronised call on the window's
// thread while the worker waits, and at once when already on that thread.
// The window owns one and hands it to the job starters (session/starters.h).
#pragma once

#include <QObject>
#include <functional>

#include "session/call_queue.h"
#include "session/dispatcher.h"

namespace tillvane {

// Wakes the window's thread for the calls workers queue: a queued Qt call only
// wakes it, the calls themselves go through the shared call queue.
class CallInbox : public QObject {
  Q_OBJECT

 public:
  explicit CallInbox(QObject* parent) : QObject(parent) {}

  // From a worker: queues `fn`, wakes the window's thread and waits until it has run
  // (or was released unrun when the window went). An exception from `fn` is thrown
  // again here.
  void RunAndWait(const std::function<void()>& fn);

  // On the window's thread: runs every queued call.
  Q_INVOKABLE void Drain() { calls_.Drain(); }

 private:
  jobs::CallQueue calls_;
};

class QtDispatcher : public jobs::Dispatcher {
 public:
  // `context` lives on the window's thread (the window itself, or any object of
  // that thread) and must outlive every job: the close handler ends the jobs first.
  explicit QtDispatcher(QObject* context) : context_(context), inbox_(new CallInbox(context)) {}

  bool OnWindowThread() const override;
  void Run(const std::function<void()>& fn) override;
  void ProcessPending() override;

 private:
  QObject* context_;
  CallInbox* inbox_;  // a child of `context`
};

}  // namespace tillvane
