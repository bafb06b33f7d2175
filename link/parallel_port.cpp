#include "link/parallel_port.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "base/clock.h"
#include "link/link_state.h"
#include "link/port_io/port_io.h"

namespace tillvane {

namespace {

uint8_t g_number = 0;
uint16_t g_base = 0;

// Why the last PrintChar failed, kept without allocating on the send path.
enum class PrintFailure { None, Busy, PaperEnd };
std::atomic<PrintFailure> g_failure{PrintFailure::None};
std::atomic<uint32_t> g_failure_wait_ms{0};

// The first address whose registers may be touched, and the last base whose three
// registers stay inside the 16-bit address space.
constexpr uint16_t kLowestBase = 3;
constexpr uint16_t kHighestBase = 0xFFFD;

bool BaseUsable(uint16_t base) {
  return base >= kLowestBase && base <= kHighestBase;
}

uint8_t ReadRegister(uint16_t offset) {
  return PortIoEntries().read_uchar(static_cast<uint16_t>(g_base + offset));
}

void WriteRegister(uint16_t offset, uint8_t value) {
  PortIoEntries().write_uchar(static_cast<uint16_t>(g_base + offset), value);
}

bool Ready() {
  return PortIoLoaded() && BaseUsable(g_base);
}

class HandshakeParallel final : public ParallelBackend {
 public:
  int32_t WriteBuffer(const uint8_t* bytes, int32_t length) override {
    return tillvane::WriteBuffer(bytes, length);
  }
  std::string FailureReason() const override { return ParallelFailureReason(); }
};

// Hands the link state a back end while the library is loaded. The link lock that
// SetLink takes also waits for a send in progress.
void PublishBackend() {
  if (Ready()) {
    SetLink(std::make_unique<HandshakeParallel>());
  } else {
    CloseLinkOf(LinkKind::Parallel);
  }
}

}  // namespace

int32_t OpenParallel(uint8_t number, uint16_t base) {
  CloseLinkOf(LinkKind::Parallel);
  if (PortIoLoaded()) UnloadPortIo();
  ResetPortIo();
  if (number >= 1 && number <= 8) {
    g_number = number;
    g_base = base;
  }
  if (BaseUsable(g_base)) LoadPortIo();
  PublishBackend();
  return Ready() ? 0 : 1;
}

int32_t CloseParallel() {
  CloseLinkOf(LinkKind::Parallel);
  UnloadPortIo();
  // An unload that failed leaves the library loaded and the link usable.
  PublishBackend();
  return 0;
}

uint8_t ReadPin(uint8_t pin) {
  if (pin < 1 || pin > 17 || !Ready()) return 0;
  if (pin >= 2 && pin <= 9) return (ReadRegister(0) >> (pin - 2)) & 1;
  switch (pin) {
    case 1:
      return (ReadRegister(2) & 0x01) == 0;
    case 10:
      return (ReadRegister(1) & 0x40) != 0;
    case 11:
      return (ReadRegister(1) & 0x80) == 0;
    case 12:
      return (ReadRegister(1) & 0x20) != 0;
    case 13:
      return (ReadRegister(1) & 0x10) != 0;
    case 14:
      return (ReadRegister(2) & 0x02) == 0;
    case 15:
      return (ReadRegister(1) & 0x08) != 0;
    case 16:
      return (ReadRegister(2) & 0x04) != 0;
    default:  // 17
      return (ReadRegister(2) & 0x08) == 0;
  }
}

uint8_t WriteByteStrobed(uint8_t byte) {
  if (!Ready()) return 0;
  WriteRegister(0, byte);
  WriteRegister(2, 0x0D);  // strobe asserted, nInit high, select-in asserted
  WriteRegister(2, 0x0C);  // strobe released
  return (ReadRegister(1) & 0x80) != 0;
}

uint8_t PrintChar(uint8_t byte) {
  if (!Ready()) return 0;
  const uint32_t start = TickCount();
  // Pin 12 is tested only while pin 11 shows a ready printer.
  while (ReadPin(11) == 1 || ReadPin(12) == 1) {
    const uint32_t limit = Links().BusyTimeout.load(std::memory_order_relaxed);
    if (TickCount() - start > limit) {
      g_failure = ReadPin(11) == 1 ? PrintFailure::Busy : PrintFailure::PaperEnd;
      g_failure_wait_ms = limit;
      return 0;
    }
  }
  WriteByteStrobed(byte);
  return 1;
}

int32_t WriteBuffer(const uint8_t* bytes, int32_t length) {
  if (!Ready()) return 0;
  for (int32_t i = 0; i < length; ++i) {
    if (PrintChar(bytes[i]) == 0) return 0;
  }
  return length < 0 ? 0 : length;
}

std::string ParallelFailureReason() {
  if (!PortIoLoaded()) return PortIoFailureReason();
  char port[32];
  std::snprintf(port, sizeof port, "LPT%u (0x%03X): ", static_cast<unsigned>(g_number),
                static_cast<unsigned>(g_base));
  const std::string wait = " for more than " + std::to_string(g_failure_wait_ms.load()) + " ms";
  switch (g_failure.load()) {
    case PrintFailure::Busy:
      return port + std::string("the printer stayed busy") + wait;
    case PrintFailure::PaperEnd:
      return port + std::string("the printer reported paper end") + wait;
    case PrintFailure::None:
      break;
  }
  return {};
}

uint8_t ParallelPortNumber() {
  return g_number;
}
uint16_t ParallelPortBase() {
  return g_base;
}

}  // namespace tillvane
