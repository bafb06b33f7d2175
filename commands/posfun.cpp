#include "commands/posfun.h"

#include <initializer_list>

#include "link/clock.h"
#include "link/link_state.h"
#include "link/message_sink.h"
#include "link/send_data.h"

namespace tillvane {
namespace {

// The fixed part of one command, formatted on the caller's stack so that builders on
// two threads never share a buffer.
class CommandBuffer {
 public:
  CommandBuffer(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) Append(b);
  }
  void Append(uint8_t b) {
    if (length_ < kCommandBufferSize)
      bytes_[length_++] = b;
    else
      overflow_ = true;
  }
  int32_t Send() const { return overflow_ ? -1 : SendData(bytes_, length_); }

 private:
  uint8_t bytes_[kCommandBufferSize];
  int32_t length_ = 0;
  bool overflow_ = false;
};

int32_t SendFixed(std::initializer_list<uint8_t> bytes) {
  return CommandBuffer(bytes).Send();
}

int32_t SendByte(uint8_t b) {
  return SendData(&b, 1);
}

// The fixed part, then each trailing byte in a call of its own; stops at the first failure.
int32_t SendCommand(std::initializer_list<uint8_t> fixed, std::initializer_list<uint8_t> params) {
  if (int32_t r = SendFixed(fixed); r != 0) return r;
  for (uint8_t b : params) {
    if (int32_t r = SendByte(b); r != 0) return r;
  }
  return 0;
}

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

constexpr uint8_t kCode128 = 8;

}  // namespace

int32_t InitializePrinter() {
  return SendFixed({ESC, 0x40});
}
int32_t SelectStandardMode() {
  return SendFixed({ESC, 0x53});
}
int32_t SelectPageMode() {
  return SendFixed({ESC, 0x4C});
}

int32_t SetLineSpacing(uint8_t n) {
  // A spacing with the top bit set selects the default spacing instead.
  if (n & 0x80) return SendFixed({ESC, 0x32});
  return SendCommand({ESC, 0x33}, {n});
}

int32_t PrintAndLineFeed() {
  return SendFixed({LF});
}
int32_t PrintPage() {
  return SendFixed({ESC, FF});
}
int32_t PrintAndReturnToStandardMode() {
  return SendFixed({FF});
}

int32_t SetAbsolutePosition(uint8_t nL, uint8_t nH) {
  return SendCommand({ESC, 0x24}, {nL, nH});
}

int32_t SetPageArea(uint8_t xL, uint8_t xH, uint8_t yL, uint8_t yH, uint8_t dxL, uint8_t dxH,
                    uint8_t dyL, uint8_t dyH) {
  return SendCommand({ESC, 0x57}, {xL, xH, yL, yH, dxL, dxH, dyL, dyH});
}

int32_t SetPageDirection(uint8_t n) {
  return SendCommand({ESC, 0x54}, {n});
}

int32_t SetAbsoluteVerticalPosition(uint8_t nL, uint8_t nH) {
  return SendCommand({GS, 0x24}, {nL, nH});
}

int32_t SetRelativeVerticalPosition(uint8_t nL, uint8_t nH) {
  return SendCommand({GS, 0x5C}, {nL, nH});
}

int32_t SetMotionUnits(uint8_t x, uint8_t y) {
  return SendCommand({GS, 0x50}, {x, y});
}
int32_t CancelPageData() {
  return SendFixed({CAN});
}

int32_t PrintText(const char* text) {
  if (text == nullptr) return -1;
  for (const char* p = text; *p != '\0'; ++p) {
    if (int32_t r = SendByte(static_cast<uint8_t>(*p)); r != 0) return r;
  }
  return 0;
}

int32_t SelectFont(uint8_t n) {
  return SendCommand({ESC, 0x46}, {n});
}
int32_t SetEmphasized(uint8_t n) {
  return SendCommand({ESC, 0x45}, {n});
}
int32_t SetCharacterSize(uint8_t n) {
  return SendCommand({GS, 0x21}, {n});
}
int32_t SetCharacterSpacing(uint8_t n) {
  return SendCommand({ESC, SP}, {n});
}
int32_t SetPrintMode(uint8_t n) {
  return SendCommand({ESC, 0x21}, {n});
}

int32_t SetBarcodeHri(uint8_t position, uint8_t font) {
  // GS H n and GS f n: two fixed parts, each with its trailing byte.
  if (int32_t r = SendCommand({GS, 0x48}, {position}); r != 0) return r;
  return SendCommand({GS, 0x66}, {font});
}

int32_t PrintBarcode(uint8_t width, uint8_t height, uint8_t system, uint8_t length,
                     const char* data) {
  // Width and height live inside the fixed part; a 0 there would end the command early
  // on the printer's side of the wire, so it is refused before anything goes out.
  if (width == 0 || height == 0 || data == nullptr) return -1;
  if (int32_t r = SendFixed({GS, 0x77, width, GS, 0x68, height, GS, 0x6B}); r != 0) return r;
  if (int32_t r = SendByte(static_cast<uint8_t>(0x41 + system)); r != 0) return r;
  if (int32_t r = SendByte(length); r != 0) return r;

  // CODE128 in code set A or B: after the two-byte prefix ("{A", "{B") the text goes
  // out as symbol values, its bytes minus 0x20. Code set C is sent unchanged.
  bool shift = system == kCode128 && !(data[0] != '\0' && data[1] == 'C');
  for (int32_t i = 0; data[i] != '\0'; ++i) {
    uint8_t b = static_cast<uint8_t>(data[i]);
    if (shift && i >= 2) b = static_cast<uint8_t>(b - 0x20);
    if (int32_t r = SendByte(b); r != 0) return r;
  }
  return 0;
}

int32_t PrintRamLogo(uint8_t n) {
  if (int32_t r = SendCommand({GS, 0x23}, {n}); r != 0) return r;
  return SendFixed({GS, 0x2F, 0x30});
}

int32_t PrintFlashLogo(uint8_t n) {
  return SendCommand({FS, 0x70}, {n, 0x00});
}

int32_t FeedPaper(int32_t mode, int32_t n) {
  if (n < 1) return -1;
  uint8_t code;
  switch (mode) {
    case 0:
      code = NAK;
      break;
    case 1:
      code = RS;
      break;
    default:
      return -1;
  }
  return SendCommand({code}, {static_cast<uint8_t>(n & 0xFF)});
}

int32_t CutPaper(uint8_t m, uint8_t n) {
  // m lives inside the fixed part; see PrintBarcode.
  if (m == 0) return -1;
  if (m == 0x41 || m == 0x42) return SendCommand({GS, 0x56, m}, {n});
  return SendFixed({GS, 0x56, m});
}

namespace {

// GS r 1, then waits for any answer on the back channel that `handle` names (the
// serial port, or the virtual printer). Any byte is an answer; it is left unread.
template <class Backend>
int32_t AwaitStatusAnswer(std::unique_ptr<Backend> LinkState::*handle) {
  LinkState& s = Links();
  {
    std::lock_guard lock(s.mutex);
    if (!(s.*handle)) return -1;
    (s.*handle)->Purge();
  }
  if (int32_t r = SendFixed({GS, 'r', 0x01}); r != 0) return r;  // GS r 1: printer status
  SleepMs(10);

  const uint32_t start = TickCount();
  for (;;) {
    int32_t waiting;
    {
      std::lock_guard lock(s.mutex);
      if (!(s.*handle)) return -1;
      waiting = (s.*handle)->ReceiveQueueCount();
    }
    if (waiting >= 1) return 0;
    if (waiting < 0) return -1;  // the device cannot tell: no answer will come
    if (TickCount() - start >= kSerialAnswerTimeoutMs) return -1;
    SleepMs(1);
  }
}

}  // namespace

int32_t TestSerialCommunication() {
  return AwaitStatusAnswer(&LinkState::SerialHandle);
}

int32_t TestVirtualCommunication() {
  return AwaitStatusAnswer(&LinkState::VirtualHandle);
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
