// Asking the printer on the open link how it is, on links whose printer can answer
// (serial, network). Each call runs on the caller's thread and waits for the answers:
// call it off the window's thread, or keep the window painting meanwhile.
#pragma once

#include <cstdint>
#include <optional>

#include "commands/printer_status.h"
#include "link/link_state.h"

namespace tillvane {

// How long the communication tests wait for the answer of GS r 1, and how long the
// status display waits for each DLE EOT answer, in ms.
inline constexpr uint32_t kCommunicationAnswerMs = 4000;
inline constexpr uint32_t kStatusAnswerMs = 500;

// What waiting for the printer's answer came to.
struct PrinterAnswer {
  enum class Outcome {
    Came,          // a byte is waiting (or was read into `byte`)
    TimedOut,      // nothing came within the wait
    CannotAnswer,  // no reply channel, or the device cannot tell what it received
  };
  Outcome outcome = Outcome::TimedOut;
  // The first byte, when it came and was read (a link that counts but cannot read
  // leaves it empty).
  std::optional<uint8_t> byte;
};

// Waits up to `wait_ms` for the first byte on the reply channel that `channel_of`
// picks (under the link lock, on every poll), polling every millisecond. With
// `read` false a byte that came is left unread in the receive queue.
PrinterAnswer WaitForPrinterAnswer(ReplyChannel* (*channel_of)(LinkState&), uint32_t wait_ms,
                                   bool read = true);

// The communication test on any link that can answer: purges the link's queues,
// sends GS r 1 (1D 72 01) through SendData, and waits up to 4000 ms for a byte. Any
// byte passes (0); nothing in time, or a link that cannot answer, fails (-1). The
// byte is read and kept in `answer` when the link can read it (left empty when not).
int32_t TestCommunication(std::optional<uint8_t>* answer,
                          uint32_t wait_ms = kCommunicationAnswerMs);

// True when the open link's printer can answer status requests.
bool LinkCanAnswer();

// The status display's requests: drops stale bytes, then sends DLE EOT 1, 2, 3 and 4
// one at a time and waits up to `wait_ms` for each answer. The requests never go into
// the command file. False when the link cannot answer or a request could not be sent
// (the answers got so far are kept).
bool QueryPrinterStatus(StatusAnswers* answers, uint32_t wait_ms = kStatusAnswerMs);

}  // namespace tillvane
