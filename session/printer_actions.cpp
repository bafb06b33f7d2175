#include "session/printer_actions.h"

#include <mutex>

#include "commands/posfun.h"
#include "base/clock.h"
#include "link/link_state.h"
#include "base/message_sink.h"

namespace tillvane {
namespace {

// Restores PrintToFile to the value it had when the object was made.
class PrintToFileRestorer {
 public:
  explicit PrintToFileRestorer(bool value) : value_(value) {}
  ~PrintToFileRestorer() { Links().PrintToFile = value_; }
  PrintToFileRestorer(const PrintToFileRestorer&) = delete;
  PrintToFileRestorer& operator=(const PrintToFileRestorer&) = delete;

 private:
  bool value_;
};

}  // namespace

int32_t TestSerialCommunication(std::optional<uint8_t>* answer) {
  if (answer != nullptr) answer->reset();
  LinkState& s = Links();
  {
    std::lock_guard lock(s.mutex);
    if (!s.SerialHandle) return -1;
    s.SerialHandle->Purge();
  }
  if (int32_t r = TransmitPaperStatus(); r != 0) return r;
  SleepMs(10);

  // Any byte in the receive queue is an answer; without `answer` it is left unread.
  const uint32_t start = TickCount();
  for (;;) {
    int32_t waiting;
    {
      std::lock_guard lock(s.mutex);
      if (!s.SerialHandle) return -1;
      waiting = s.SerialHandle->ReceiveQueueCount();
      if (waiting >= 1) {
        uint8_t b = 0;
        if (answer != nullptr && s.SerialHandle->Read(&b, 1, 0) == 1) *answer = b;
        return 0;
      }
    }
    if (waiting < 0) return -1;  // the device cannot tell: no answer will come
    if (TickCount() - start >= kSerialAnswerTimeoutMs) return -1;
    SleepMs(1);
  }
}

void ClearPrinterError() {
  LinkState& s = Links();
  // The reset is meant for the printer, never for the command file.
  PrintToFileRestorer restore(s.PrintToFile.exchange(false));

  if (!StartJobDocument()) return;  // the queue is closed already
  if (InitializePrinter() != 0) {
    ShowMessage(kSendFailedMessage);
    return;
  }
  if (s.LinkKind == LinkPrintQueue) {
    // A document that cannot be ended closes the queue; the action ends there.
    EndJobDocument();
    if (!QueueOpen()) return;
  }
  SleepMs(kClearErrorPauseMs);
}

}  // namespace tillvane
