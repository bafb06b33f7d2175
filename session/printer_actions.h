// Two actions of the operator that talk to the printer on the window's thread: the
// serial communication test of the port page and the clear-error action of the index
// page.
#pragma once

#include <cstdint>
#include <optional>

namespace tillvane {

// How long the clear-error action pauses after the reset, in ms.
inline constexpr uint32_t kClearErrorPauseMs = 2000;

// GS r 1 over the open serial port, then waits up to kCommunicationAnswerMs
// (commands/status_query.h) for any byte to arrive.
// 0 when one came, the failed send's result or -1. Any byte passes; the first is read
// and kept in `answer` when one is given (it holds the paper sensors' state).
[[nodiscard]] int32_t TestSerialCommunication(std::optional<uint8_t>* answer = nullptr);

// A printer reset, never copied to the command file, framed as one document on the
// print queue, then a 2000 ms pause. Shows the send-failure message when the reset
// could not be sent.
void ClearPrinterError();

}  // namespace tillvane
