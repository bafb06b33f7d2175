// Only one sender may be active at a time: a receipt printed on the window's thread,
// the clear-error action, the port page's test, or one background job. Every printing
// action passes this gate before its first byte and leaves it after its last.
#pragma once

#include <atomic>

namespace tillvane {

// True when the caller may send now; it then holds the gate until EndSending.
bool TryBeginSending();
void EndSending();
bool SendingInProgress();

// Holds the gate for a scope, when it could be taken.
class SendingScope {
 public:
  SendingScope() : held_(TryBeginSending()) {}
  ~SendingScope() {
    if (held_) EndSending();
  }
  SendingScope(const SendingScope&) = delete;
  SendingScope& operator=(const SendingScope&) = delete;
  bool held() const { return held_; }

 private:
  bool held_;
};

}  // namespace tillvane
