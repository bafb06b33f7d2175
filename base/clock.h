// Millisecond tick counter and sleep of the program.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace tillvane {

// Milliseconds on a monotonic clock, wrapping like a 32-bit tick counter.
inline uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

inline void SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tillvane
