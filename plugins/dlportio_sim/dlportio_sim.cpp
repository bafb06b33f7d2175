// The simulated twin of our port I/O library: the same twelve entry points in front of
// a parallel printer played at register level, with controls for the tests.
#include "plugins/dlportio_sim/dlportio_sim.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "abi/dlportio_wide.h"

#define SIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

struct Printer {
  uint16_t base = 0x378;
  uint8_t data = 0;
  uint8_t status = 0xDF;
  uint8_t control = 0x0C;
  uint32_t busy_reads_per_byte = 0;
  uint32_t busy_ms_per_byte = 0;
  uint32_t busy_reads_left = 0;
  Clock::time_point busy_until{};
  bool paper_end = false;
  uint32_t paper_end_after = 0;
  std::vector<uint8_t> printed;
  uint32_t reads = 0;
  std::vector<uint8_t> control_writes;
  std::vector<uint32_t> log;
  uint32_t low_accesses = 0;
  uint32_t ignored_strobes = 0;

  bool Busy() const { return busy_reads_left > 0 || Clock::now() < busy_until; }
  bool OutOfPaper() const {
    return paper_end || (paper_end_after > 0 && printed.size() >= paper_end_after);
  }
  void Log(uint32_t kind, uint16_t address, uint8_t value) {
    if (log.size() < kDlPortSimLogLimit)
      log.push_back((kind << 24) | (static_cast<uint32_t>(address) << 8) | value);
  }
};

std::mutex g_mutex;
Printer g_printer;

uint8_t ReadByte(uint16_t port) {
  std::lock_guard lock(g_mutex);
  Printer& p = g_printer;
  ++p.reads;
  if (port < 3) ++p.low_accesses;
  uint8_t value = 0xFF;
  if (port == p.base) {
    value = p.data;
  } else if (port == p.base + 1) {
    value = p.status;
    if (p.Busy()) value &= static_cast<uint8_t>(~0x80);
    if (p.OutOfPaper()) value |= 0x20;
    if (p.busy_reads_left > 0) --p.busy_reads_left;
  } else if (port == p.base + 2) {
    value = p.control;
  }
  p.Log(kDlPortSimRead, port, value);
  return value;
}

void WriteByte(uint16_t port, uint8_t value) {
  std::lock_guard lock(g_mutex);
  Printer& p = g_printer;
  if (port < 3) ++p.low_accesses;
  p.Log(kDlPortSimWrite, port, value);
  if (port == p.base) {
    p.data = value;
  } else if (port == p.base + 2) {
    bool was_asserted = (p.control & 0x01) != 0;
    p.control = value;
    p.control_writes.push_back(value);
    if (was_asserted && (value & 0x01) == 0) {
      if (p.Busy() || p.OutOfPaper()) {
        ++p.ignored_strobes;
      } else {
        p.printed.push_back(p.data);
        p.busy_reads_left = p.busy_reads_per_byte;
        p.busy_until = Clock::now() + std::chrono::milliseconds(p.busy_ms_per_byte);
      }
    }
  }
}

template <typename T>
uint32_t CopyOut(const std::vector<T>& from, T* buffer, uint32_t max) {
  if (buffer != nullptr) {
    size_t n = std::min<size_t>(from.size(), max);
    std::copy_n(from.begin(), n, buffer);
  }
  return static_cast<uint32_t>(from.size());
}

}  // namespace

SIM_EXPORT uint8_t DlPortReadPortUchar(uint16_t port) {
  return ReadByte(port);
}
SIM_EXPORT void DlPortWritePortUchar(uint16_t port, uint8_t value) {
  WriteByte(port, value);
}

TILLVANE_DLPORTIO_WIDE_READS()
TILLVANE_DLPORTIO_WIDE_WRITES()
#ifndef DLPORTIO_SIM_INCOMPLETE
// The incomplete build, for the loader's tests, lacks this last entry point.
TILLVANE_DLPORTIO_WRITE_BUFFER_ULONG()
#endif

SIM_EXPORT void DlPortSimReset(void) {
  std::lock_guard lock(g_mutex);
  g_printer = Printer{};
}

SIM_EXPORT void DlPortSimSetBase(uint16_t base) {
  std::lock_guard lock(g_mutex);
  g_printer.base = base;
}

SIM_EXPORT void DlPortSimSetRegisters(uint8_t data, uint8_t status, uint8_t control) {
  std::lock_guard lock(g_mutex);
  g_printer.data = data;
  g_printer.status = status;
  g_printer.control = control;
}

SIM_EXPORT void DlPortSimSetBusyReads(uint32_t reads) {
  std::lock_guard lock(g_mutex);
  g_printer.busy_reads_per_byte = reads;
}

SIM_EXPORT void DlPortSimSetBusyMs(uint32_t ms) {
  std::lock_guard lock(g_mutex);
  g_printer.busy_ms_per_byte = ms;
}

SIM_EXPORT void DlPortSimSetPaperEnd(int on) {
  std::lock_guard lock(g_mutex);
  g_printer.paper_end = on != 0;
}

SIM_EXPORT void DlPortSimSetPaperEndAfter(uint32_t count) {
  std::lock_guard lock(g_mutex);
  g_printer.paper_end_after = count;
}

SIM_EXPORT uint32_t DlPortSimPrinted(uint8_t* buffer, uint32_t max) {
  std::lock_guard lock(g_mutex);
  return CopyOut(g_printer.printed, buffer, max);
}

SIM_EXPORT uint32_t DlPortSimRegisterReads(void) {
  std::lock_guard lock(g_mutex);
  return g_printer.reads;
}

SIM_EXPORT uint32_t DlPortSimControlWrites(uint8_t* buffer, uint32_t max) {
  std::lock_guard lock(g_mutex);
  return CopyOut(g_printer.control_writes, buffer, max);
}

SIM_EXPORT uint32_t DlPortSimAccessLog(uint32_t* buffer, uint32_t max) {
  std::lock_guard lock(g_mutex);
  return CopyOut(g_printer.log, buffer, max);
}

SIM_EXPORT uint32_t DlPortSimLowAccesses(void) {
  std::lock_guard lock(g_mutex);
  return g_printer.low_accesses;
}

SIM_EXPORT uint32_t DlPortSimIgnoredStrobes(void) {
  std::lock_guard lock(g_mutex);
  return g_printer.ignored_strobes;
}
