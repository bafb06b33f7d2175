#include "commands/status_query.h"

#include "base/clock.h"
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

// One byte from the printer within `wait_ms`: the byte, nothing when none came, and
// `failed` when the link cannot read at all.
std::optional<uint8_t> ReadAnswer(uint32_t wait_ms, bool* failed) {
  LinkState& s = Links();
  const uint32_t start = TickCount();
  for (;;) {
    {
      std::lock_guard lock(s.mutex);
      ReplyChannel* channel = OpenReplyChannel(s);
      if (channel == nullptr) {
        *failed = true;
        return std::nullopt;
      }
      const int32_t waiting = channel->ReceiveQueueCount();
      if (waiting < 0) {
        *failed = true;
        return std::nullopt;
      }
      if (waiting >= 1) {
        uint8_t b = 0;
        if (channel->Read(&b, 1, 0) == 1) return b;
        // A link that counts but cannot read: the answer came, its value is unknown.
        *failed = false;
        return std::nullopt;
      }
    }
    if (TickCount() - start >= wait_ms) return std::nullopt;
    SleepMs(1);
  }
}

}  // namespace

bool LinkCanAnswer() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return OpenReplyChannel(s) != nullptr;
}

int32_t TestCommunication(std::optional<uint8_t>* answer, uint32_t wait_ms) {
  if (answer != nullptr) answer->reset();
  if (!PurgeReplies()) return -1;
  // GS r 1: paper sensor status
  static constexpr uint8_t kRequest[] = {protocol::GS, 'r', 1};
  if (int32_t r = SendData(kRequest, sizeof kRequest); r != 0) return r;
  SleepMs(10);

  LinkState& s = Links();
  const uint32_t start = TickCount();
  for (;;) {
    int32_t waiting;
    {
      std::lock_guard lock(s.mutex);
      ReplyChannel* channel = OpenReplyChannel(s);
      if (channel == nullptr) return -1;
      waiting = channel->ReceiveQueueCount();
      if (waiting >= 1) {
        uint8_t b = 0;
        if (channel->Read(&b, 1, 0) == 1 && answer != nullptr) *answer = b;
        return 0;
      }
    }
    if (waiting < 0) return -1;  // the device cannot tell: no answer will come
    if (TickCount() - start >= wait_ms) return -1;
    SleepMs(1);
  }
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
    bool failed = false;
    (*answers)[static_cast<size_t>(n - 1)] = ReadAnswer(wait_ms, &failed);
    if (failed) return false;
  }
  return true;
}

}  // namespace tillvane
