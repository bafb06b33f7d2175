#include "session/printer_actions.h"

#include <mutex>

#include "base/clock.h"
#include "base/message_sink.h"
#include "commands/posfun.h"
#include "commands/status_query.h"
#include "link/link_state.h"

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

// The receive side of the open serial link; null when none is open.
ReplyChannel* SerialReplies(LinkState& s) {
  return s.link && s.link->kind() == LinkKind::Serial ? s.link->Replies() : nullptr;
}

}  // namespace

int32_t TestSerialCommunication(std::optional<uint8_t>* answer) {
  if (answer != nullptr) answer->reset();
  LinkState& s = Links();
  {
    std::lock_guard lock(s.mutex);
    ReplyChannel* replies = SerialReplies(s);
    if (replies == nullptr) return -1;
    replies->Purge();
  }
  if (int32_t r = TransmitPaperStatus(); r != 0) return r;
  SleepMs(10);

  // Any byte in the receive queue is an answer; without `answer` it is left unread.
  const PrinterAnswer got =
      WaitForPrinterAnswer(SerialReplies, kCommunicationAnswerMs, answer != nullptr);
  if (got.outcome != PrinterAnswer::Outcome::Came) return -1;
  if (answer != nullptr) *answer = got.byte;
  return 0;
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
  if (s.Kind == LinkKind::PrintQueue) {
    // A document that cannot be ended closes the queue; the action ends there.
    EndJobDocument();
    if (OpenLinkKind() != LinkKind::PrintQueue) return;
  }
  SleepMs(kClearErrorPauseMs);
}

}  // namespace tillvane
