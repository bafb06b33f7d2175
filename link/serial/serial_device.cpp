#include "link/serial/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>

namespace tillvane::serial {
namespace {

using Clock = std::chrono::steady_clock;

// How often the DSR line is sampled while output waits for it.
constexpr int kDsrPollMs = 10;
// Closing: how often the output queue is looked at, and how long it may stand still.
constexpr int kDrainPollMs = 10;
constexpr int kDrainStallMs = 1000;

// Milliseconds left until `deadline`, rounded up, 0 when it has passed.
int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  if (left > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(left);
}

Clock::time_point DeadlineFor(uint32_t multiplier_ms, uint32_t constant_ms, int32_t length) {
  // At most 2^32 * 2^31 ms would overflow the clock: cap at about a century.
  constexpr uint64_t kCapMs = 100ull * 365 * 24 * 3600 * 1000;
  uint64_t ms = WriteDeadlineMs(multiplier_ms, constant_ms, length);
  if (ms > kCapMs) ms = kCapMs;
  return Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(ms));
}

SerialError TimedOut(const std::string& path) {
  SerialError e;
  e.kind = SerialErrorKind::Timeout;
  e.operation = "write";
  e.detail = path;
  return e;
}

}  // namespace

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path, SerialError* error) {
  SerialError ignored;
  if (error == nullptr) error = &ignored;
  if (path.empty()) {
    *error = ErrorFromErrno(ENOENT, "open", "(no device)");
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = ErrorFromErrno(errno, "open", path);
    return nullptr;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    *error = ErrorFromErrno(errno, "TIOCEXCL", path);
    ::close(fd);
    return nullptr;
  }
  *error = {};
  return std::unique_ptr<SerialDevice>(new SerialDevice(fd, path));
}

SerialDevice::~SerialDevice() {
  // The exclusive claim belongs to the terminal, not to this descriptor: release it so
  // that the next opening of the same port is not refused while another descriptor
  // (a driver, a simulated printer) keeps the terminal alive.
  ::ioctl(fd_, TIOCNXCL);
  // A real port's close waits up to its closing time (30 s by default) for output
  // held back by flow control. Let moving output finish; drop output that stalls.
  auto pending = [this](int* count) { return ::ioctl(fd_, TIOCOUTQ, count); };
  if (!DrainWhileMoving(pending, kDrainPollMs, kDrainStallMs)) ::tcflush(fd_, TCOFLUSH);
  ::close(fd_);
}

SerialError SerialDevice::Configure(const SerialSettings& settings) {
  termios current{};
  if (::tcgetattr(fd_, &current) != 0) return ErrorFromErrno(errno, "tcgetattr", path_);
  LinePlan plan;
  SerialError e = FillLinePlan(settings, current, &plan);
  if (!e.ok()) return e;
  if (::tcsetattr(fd_, TCSANOW, &plan.tio) != 0) return ErrorFromErrno(errno, "tcsetattr", path_);
  if (!DriveLines(plan, &e)) return e;
  wait_dsr_ = plan.wait_dsr && has_modem_lines_;
  return {};
}

bool SerialDevice::DriveLines(const LinePlan& plan, SerialError* error) {
  has_modem_lines_ = true;
  struct Step {
    unsigned long request;
    int bits;
    const char* name;
  };
  const Step steps[] = {{TIOCMBIC, plan.drop_lines, "TIOCMBIC"},
                        {TIOCMBIS, plan.raise_lines, "TIOCMBIS"}};
  for (const Step& s : steps) {
    if (s.bits == 0) continue;
    int bits = s.bits;
    if (::ioctl(fd_, s.request, &bits) == 0) continue;
    if (NoModemLines(errno)) {
      has_modem_lines_ = false;
      return true;
    }
    *error = ErrorFromErrno(errno, s.name, path_);
    return false;
  }
  return true;
}

void SerialDevice::SetWriteTimeouts(uint32_t multiplier_ms, uint32_t constant_ms) {
  multiplier_ms_.store(multiplier_ms, std::memory_order_relaxed);
  constant_ms_.store(constant_ms, std::memory_order_relaxed);
}

int32_t SerialDevice::Failed(int32_t taken, SerialError error) {
  last_error_ = std::move(error);
  return taken > 0 ? taken : -1;
}

int32_t SerialDevice::Write(const uint8_t* bytes, int32_t length) {
  if (length < 0 || (length > 0 && bytes == nullptr)) return -1;
  if (length == 0) return 0;

  int32_t taken = 0;
  bool have_deadline = false;
  Clock::time_point deadline{};
  auto ensure_deadline = [&] {
    if (!have_deadline) {
      deadline = DeadlineFor(write_multiplier_ms(), write_constant_ms(), length);
      have_deadline = true;
    }
  };
  if (wait_dsr_) ensure_deadline();

  for (;;) {
    if (wait_dsr_) {
      // Output waits while the printer holds DSR low.
      int err = 0;
      auto status = [this](int* bits) { return ::ioctl(fd_, TIOCMGET, bits); };
      switch (WaitForDsr(status, deadline, kDsrPollMs, &err)) {
        case DsrWait::Ready:
        case DsrWait::NoLines:
          break;
        case DsrWait::TimedOut:
          return Failed(taken, TimedOut(path_));
        case DsrWait::Failed:
          return Failed(taken, ErrorFromErrno(err, "TIOCMGET", path_));
      }
    }

    ssize_t n = ::write(fd_, bytes + taken, static_cast<size_t>(length - taken));
    if (n > 0) {
      taken += static_cast<int32_t>(n);
      if (taken == length) return taken;
      continue;
    }
    if (n < 0) {
      int err = errno;
      if (err == EINTR) continue;
      if (err != EAGAIN && err != EWOULDBLOCK)
        return Failed(taken, ErrorFromErrno(err, "write", path_));
    }

    // The device's output buffer is full: wait for room until the deadline.
    ensure_deadline();
    for (;;) {
      int left = MsLeft(deadline);
      if (left == 0) return Failed(taken, TimedOut(path_));
      pollfd p{fd_, POLLOUT, 0};
      int r = ::poll(&p, 1, left);
      if (r < 0) {
        if (errno == EINTR) continue;
        return Failed(taken, ErrorFromErrno(errno, "poll", path_));
      }
      if (r == 0) continue;  // the deadline check above ends the wait
      if (p.revents & POLLNVAL) return Failed(taken, ErrorFromErrno(EBADF, "poll", path_));
      if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLOUT))
        return Failed(taken, ErrorFromErrno(EIO, "write", path_));
      break;
    }
  }
}

bool SerialDevice::Purge() {
  if (::tcflush(fd_, TCIOFLUSH) == 0) return true;
  last_error_ = ErrorFromErrno(errno, "tcflush", path_);
  return false;
}

int32_t SerialDevice::ReceiveQueueCount() {
  int count = 0;
  if (::ioctl(fd_, FIONREAD, &count) == 0) return count;
  last_error_ = ErrorFromErrno(errno, "FIONREAD", path_);
  return -1;
}

int32_t SerialDevice::Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) {
  if (capacity <= 0 || bytes == nullptr) return -1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    const ssize_t n = ::read(fd_, bytes, static_cast<size_t>(capacity));
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) return 0;  // hung up: nothing will come
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      last_error_ = ErrorFromErrno(errno, "read", path_);
      return -1;
    }
    const int left = MsLeft(deadline);
    if (left == 0) return 0;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, left) < 0 && errno != EINTR) {
      last_error_ = ErrorFromErrno(errno, "poll", path_);
      return -1;
    }
  }
}

}  // namespace tillvane::serial
