#include "commands/send_run.h"

#include "link/send_data.h"

namespace tillvane {
namespace {

thread_local StopAtFirstFailure* t_run = nullptr;

}  // namespace

StopAtFirstFailure::StopAtFirstFailure()
    : outer_(t_run), result_(t_run != nullptr ? t_run->result_ : 0) {
  t_run = this;
}

StopAtFirstFailure::~StopAtFirstFailure() {
  t_run = outer_;
  if (outer_ != nullptr && outer_->result_ == 0) outer_->result_ = result_;
}

int32_t SendInRun(const uint8_t* bytes, int32_t length) {
  StopAtFirstFailure* run = t_run;
  if (run == nullptr) return SendData(bytes, length);
  if (run->result_ != 0) return run->result_;
  const int32_t r = SendData(bytes, length);
  if (r != 0) run->result_ = r;
  return r;
}

}  // namespace tillvane
