// The printer status display's requests, run on a thread of their own so that the
// window keeps painting while each answer is waited for (500 ms each at most).
#pragma once

#include <functional>
#include <thread>

#include "commands/printer_status.h"

namespace tillvane {

class StatusCheck {
 public:
  StatusCheck() = default;
  ~StatusCheck() { Join(); }
  StatusCheck(const StatusCheck&) = delete;
  StatusCheck& operator=(const StatusCheck&) = delete;

  // Starts the requests (QueryPrinterStatus) on the check's thread; `done` is called
  // there when they are over. The caller holds the sender gate meanwhile. False when a
  // check is already running.
  bool Start(std::function<void()> done);
  // Waits for the thread to end; afterwards ok() and answers() hold the outcome.
  void Join();

  // False when the link could not answer or a request could not be sent.
  bool ok() const { return ok_; }
  const StatusAnswers& answers() const { return answers_; }

 private:
  std::thread thread_;
  bool ok_ = false;
  StatusAnswers answers_{};
};

}  // namespace tillvane
