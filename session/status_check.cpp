#include "session/status_check.h"

#include "commands/status_query.h"

namespace tillvane {

bool StatusCheck::Start(std::function<void()> done) {
  if (thread_.joinable()) return false;
  thread_ = std::thread([this, done = std::move(done)] {
    ok_ = QueryPrinterStatus(&answers_);
    if (done) done();
  });
  return true;
}

void StatusCheck::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tillvane
