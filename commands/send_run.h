// A run of builder sends that ends at its first failure. A sample document is one run:
// once one of its sends has failed, nothing more of it reaches the printer or the
// command file, and the document reports that failure.
#pragma once

#include <cstdint>

namespace tillvane {

// While an object of this class lives, the builder sends of its thread form one run.
// After a send of the run has failed, every later builder send on the thread returns
// that failure at once without calling SendData. Runs nest: an inner run starts failed
// when its outer run has failed, and hands its failure out when it ends.
class StopAtFirstFailure {
 public:
  StopAtFirstFailure();
  ~StopAtFirstFailure();
  StopAtFirstFailure(const StopAtFirstFailure&) = delete;
  StopAtFirstFailure& operator=(const StopAtFirstFailure&) = delete;

  // 0 while every send of the run succeeded, otherwise the first failed send's result.
  int32_t result() const { return result_; }

 private:
  friend int32_t SendInRun(const uint8_t* bytes, int32_t length);
  StopAtFirstFailure* outer_;
  int32_t result_;
};

// The one send of every builder: SendData, unless the thread's run has already failed.
int32_t SendInRun(const uint8_t* bytes, int32_t length);

}  // namespace tillvane
