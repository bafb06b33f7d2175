// The thin layer over the system calls of one open serial device, and the back end
// that SendData writes through.
#pragma once

#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "link/backends.h"
#include "link/serial/serial_error.h"
#include "link/serial/termios_settings.h"
#include "link/serial_port.h"

namespace tillvane::serial {

// Write deadlines, ms: multiplier per byte plus a constant.
inline constexpr uint32_t kWriteMultiplierMs = 1000;
inline constexpr uint32_t kWriteConstantAtOpenMs = 200;
inline constexpr uint32_t kWriteConstantInUseMs = 1000;

class SerialDevice final : public SerialBackend {
 public:
  // Opens the device for reading and writing, without becoming its controlling
  // terminal, non-blocking, and claims it exclusively (TIOCEXCL). Null on failure,
  // with the reason in `error`.
  static std::unique_ptr<SerialDevice> Open(const std::string& path, SerialError* error);

  // Releases the exclusive claim and closes the device.
  ~SerialDevice() override;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Reads the device's termios, fills in the line settings, writes them back and sets
  // the modem lines. A device without modem lines (a pseudo-terminal) is not a
  // failure: the lines are simply not driven and DSR is not waited for.
  SerialError Configure(const SerialSettings& settings);

  void SetWriteTimeouts(uint32_t multiplier_ms, uint32_t constant_ms) override;
  uint32_t write_multiplier_ms() const { return multiplier_ms_.load(std::memory_order_relaxed); }
  uint32_t write_constant_ms() const { return constant_ms_.load(std::memory_order_relaxed); }

  // Writes without blocking and waits with poll until every byte is taken or the
  // deadline passes. Short writes continue where they stopped: a byte taken is never
  // written again. Returns the count taken, or -1 when nothing was taken.
  int32_t Write(const uint8_t* bytes, int32_t length) override;
  bool Purge() override;
  int32_t ReceiveQueueCount() override;
  int32_t Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) override;

  bool has_modem_lines() const { return has_modem_lines_; }
  bool waits_for_dsr() const { return wait_dsr_; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  // Why the last failed Write, Purge or ReceiveQueueCount failed.
  const SerialError& last_error() const { return last_error_; }
  std::string FailureReason() const override { return last_error_.Message(); }

 private:
  SerialDevice(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // False when the modem-line ioctls are refused because the device has no lines.
  bool DriveLines(const LinePlan& plan, SerialError* error);
  int32_t Failed(int32_t taken, SerialError error);

  int fd_;
  std::string path_;
  std::atomic<uint32_t> multiplier_ms_{kWriteMultiplierMs};
  std::atomic<uint32_t> constant_ms_{kWriteConstantAtOpenMs};
  bool has_modem_lines_ = false;
  bool wait_dsr_ = false;
  SerialError last_error_;
};

// True for the errno values with which a device without modem lines refuses the
// modem-line ioctls.
inline bool NoModemLines(int err) {
  return err == ENOTTY || err == EINVAL;
}

enum class DsrWait { Ready, NoLines, TimedOut, Failed };

// Waits until the printer raises DSR, sampling the modem status every `poll_ms`
// with `read_status(int* bits)` (0 with the TIOCM_* bits, or -1 with errno set).
// Failed leaves the errno in `*err`.
template <typename ReadStatus>
DsrWait WaitForDsr(ReadStatus&& read_status, std::chrono::steady_clock::time_point deadline,
                   int poll_ms, int* err) {
  using namespace std::chrono;
  for (;;) {
    int bits = 0;
    if (read_status(&bits) != 0) {
      *err = errno;
      return NoModemLines(*err) ? DsrWait::NoLines : DsrWait::Failed;
    }
    if (bits & TIOCM_DSR) return DsrWait::Ready;
    const auto now = steady_clock::now();
    if (now >= deadline) return DsrWait::TimedOut;
    std::this_thread::sleep_for(
        std::min<steady_clock::duration>(milliseconds(poll_ms), deadline - now));
  }
}

// Before closing: lets the bytes the device still holds go out as long as they keep
// moving, so that closing never waits for a printer that has stopped taking them.
// `read_pending(int* count)` is TIOCOUTQ (0 on success). True when the queue
// emptied or cannot be read; false when it stood still for `stall_ms`.
template <typename ReadPending>
bool DrainWhileMoving(ReadPending&& read_pending, int poll_ms, int stall_ms) {
  using namespace std::chrono;
  int pending = 0;
  if (read_pending(&pending) != 0 || pending <= 0) return true;
  int last = pending;
  auto moved = steady_clock::now();
  for (;;) {
    std::this_thread::sleep_for(milliseconds(poll_ms));
    if (read_pending(&pending) != 0 || pending <= 0) return true;
    const auto now = steady_clock::now();
    if (pending < last) {
      last = pending;
      moved = now;
    } else if (now - moved >= milliseconds(stall_ms)) {
      return false;
    }
  }
}

}  // namespace tillvane::serial
