// The dispatcher of the program: runs a job's synchronised call on the window's
// thread while the worker waits, and at once when already on that thread.
// The window owns one and hands it to the job starters (session/starters.h).
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

#include "session/dispatcher.h"

namespace tillvane {

// The calls waiting for the window's thread. Workers queue them under our own mutex
// and the window's thread takes them from there, so that every hand-over between the
// threads is one the thread checkers can see; a queued Qt call only wakes the window's
// thread.
class CallInbox : public QObject {
  Q_OBJECT

 public:
  explicit CallInbox(QObject* parent) : QObject(parent) {}
  // Calls still queued are released unrun.
  ~CallInbox() override;

  // From a worker: queues `fn`, wakes the window's thread and waits until it has run
  // (or was released unrun). An exception from `fn` is thrown again here.
  void RunAndWait(const std::function<void()>& fn);

  // On the window's thread: runs every queued call.
  Q_INVOKABLE void Drain();

 private:
  struct Call {
    const std::function<void()>* fn;
    bool done = false;
    std::exception_ptr error;
  };
  std::mutex mutex_;
  std::condition_variable done_cv_;
  std::deque<Call*> calls_;
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
