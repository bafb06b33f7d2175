#include "session/sender_gate.h"

namespace tillvane {
namespace {
std::atomic<bool> g_sending{false};
}

bool TryBeginSending() {
  bool expected = false;
  return g_sending.compare_exchange_strong(expected, true);
}

void EndSending() {
  g_sending = false;
}

bool SendingInProgress() {
  return g_sending;
}

}  // namespace tillvane
