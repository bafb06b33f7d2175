// The simulated parallel printer behind the port I/O library's simulated twin, reached
// through the controls that library exports. The library must be loaded already (by
// the port I/O loader, or held with Hold()); every call finds it by its bare name
// without loading it.
#pragma once

#include <cstdint>
#include <vector>

namespace tillvane::rigs {

struct PortAccess {
  bool write = false;
  uint16_t address = 0;
  uint8_t value = 0;
  bool operator==(const PortAccess&) const = default;
};

class SimulatedParallelPrinter {
 public:
  // True when the simulated library is the one loaded.
  static bool Loaded();

  // Loads the simulated library by its bare name and keeps it loaded (and its printer
  // state alive) while the object lives, also across the program's unloads.
  class Hold {
   public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool ok() const { return handle_ != nullptr; }

   private:
    void* handle_ = nullptr;
  };

  static void Reset();
  static void SetBase(uint16_t base);
  static void SetRegisters(uint8_t data, uint8_t status, uint8_t control);
  static void SetBusyReads(uint32_t reads);
  static void SetBusyMs(uint32_t ms);
  static void SetPaperEnd(bool on);
  static void SetPaperEndAfter(uint32_t count);

  static std::vector<uint8_t> Printed();
  static uint32_t RegisterReads();
  static std::vector<uint8_t> ControlWrites();
  static std::vector<PortAccess> Accesses();
  static uint32_t LowAccesses();
  static uint32_t IgnoredStrobes();
};

}  // namespace tillvane::rigs
