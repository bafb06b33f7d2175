#include "commands/status_query.h"

#include "base/clock.h"
#include "commands/posfun.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "protocol/control_bytes.h"

namespace tillvane {
namespace {

// Purges the open link's queues; false when it cannot answer.
bool PurgeReplies() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  ReplyChannel* channel = OpenReplyChannel(s);
  if (channel == nullptr) return false;
  channel->Purge();
  return true;
}

}  // namespace

PrinterAnswer WaitForPrinterAnswer(ReplyChannel* (*channel_of)(LinkState&), uint32_t wait_ms,
                                   bool read) {
  LinkState& s = Links();
  const uint32_t start = TickCount();
  for (;;) {
    {
      std::lock_guard lock(s.mutex);
      ReplyChannel* channel = channel_of(s);
      if (channel == nullptr) return {PrinterAnswer::Outcome::CannotAnswer, std::nullopt};
      const int32_t waiting = channel->ReceiveQueueCount();
      if (waiting < 0) return {PrinterAnswer::Outcome::CannotAnswer, std::nullopt};
      if (waiting >= 1) {
        uint8_t b = 0;
        if (read && channel->Read(&b, 1, 0) == 1) return {PrinterAnswer::Outcome::Came, b};
        return {PrinterAnswer::Outcome::Came, std::nullopt};
      }
    }
    if (TickCount() - start >= wait_ms) return {PrinterAnswer::Outcome::TimedOut, std::nullopt};
    SleepMs(1);
  }
}

bool LinkCanAnswer() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return OpenReplyChannel(s) != nullptr;
}

int32_t TestCommunication(std::optional<uint8_t>* answer, uint32_t wait_ms) {
  if (answer != nullptr) answer->reset();
  if (!PurgeReplies()) return -1;
  if (int32_t r = TransmitPaperStatus(); r != 0) return r;
  SleepMs(10);

  const PrinterAnswer got = WaitForPrinterAnswer(OpenReplyChannel, wait_ms);
  if (got.outcome != PrinterAnswer::Outcome::Came) return -1;
  if (answer != nullptr) *answer = got.byte;
  return 0;
}

bool QueryPrinterStatus(StatusAnswers* answers, uint32_t wait_ms) {
  for (auto& a : *answers) a.reset();
  for (int n = 1; n <= kStatusRequests; ++n) {
    // Stale bytes, and a late answer to the request before, are dropped first.
    if (!PurgeReplies()) return false;
    const uint8_t request[] = {protocol::DLE, protocol::EOT, static_cast<uint8_t>(n)};  // DLE EOT n
    // Past the command file: status requests are not part of any job.
    const int32_t r = SendToLinkOnly(request, sizeof request);
    if (r != 0) return false;
    const PrinterAnswer got = WaitForPrinterAnswer(OpenReplyChannel, wait_ms);
    if (got.outcome == PrinterAnswer::Outcome::CannotAnswer) return false;
    (*answers)[static_cast<size_t>(n - 1)] = got.byte;
  }
  return true;
}

}  // namespace tillvane
