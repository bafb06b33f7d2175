// Our Linux stand-in of the maker's USB interface library, over the kernel's USB
// printer-class driver (usblp): device number n is /dev/usb/lp<n>, and a device handle
// is the open file descriptor of that node.
#include "abi/vorn_usb_api.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#define VORN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* kDefaultPattern = "/dev/usb/lp%d";
constexpr int kPatternCapacity = 256;
constexpr int32_t kHighestDevice = 255;

std::mutex g_pattern_mutex;
char g_pattern[kPatternCapacity] = "/dev/usb/lp%d";

// A printer that takes no byte for this long fails the write; progress restarts it.
std::atomic<int32_t> g_write_timeout_ms{5000};
std::atomic<int32_t> g_read_timeout_ms{2000};

thread_local char t_last_error[kPatternCapacity + 96] = "";

// Notes why a call failed: the operation, the node and the system's words.
void NoteError(const char* operation, const char* path, int err) {
  const char* words = strerrordesc_np(err);
  std::snprintf(t_last_error, sizeof t_last_error, "%s%s%s: %s", operation, *path ? " " : "", path,
                words != nullptr ? words : "unknown error");
}

// A pattern is usable when it holds exactly one "%d" and no other conversion ("%%"
// stands for a percent sign).
bool PatternValid(const char* pattern) {
  if (std::strlen(pattern) >= static_cast<size_t>(kPatternCapacity)) return false;
  int conversions = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    if (*p != 'd') return false;
    ++conversions;
  }
  return conversions == 1;
}

// The file descriptor a handle stands for, or -1 for null, -1 and anything that no
// OpenDeviceX of ours can have returned.
int HandleFd(VornUsbHandle handle) {
  if (handle <= 2 || handle > INT_MAX) return -1;
  return static_cast<int>(handle);
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until the descriptor is ready for `events` or the deadline passes. True when
// it is worth trying the transfer again (ready, or an error the transfer will report).
bool WaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    int left = RemainingMs(deadline);
    if (left == 0) return false;
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, left);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

VORN_EXPORT VornUsbHandle OpenDeviceX(int32_t device) {
  if (device < 0 || device > kHighestDevice) return VORN_USB_NO_DEVICE;
  char path[kPatternCapacity + 16];
  {
    std::lock_guard lock(g_pattern_mutex);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(path, sizeof path, g_pattern, static_cast<int>(device));
#pragma GCC diagnostic pop
  }
  struct stat st {};
  if (::stat(path, &st) != 0) {
    NoteError("stat", path, errno);
    // No node (or none reachable) is no device; anything else is a device we cannot
    // open.
    return (errno == ENOENT || errno == ENOTDIR) ? VORN_USB_NO_DEVICE : VORN_USB_OPEN_FAILED;
  }
  int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    NoteError("open", path, errno);
    return VORN_USB_OPEN_FAILED;
  }
  if (fd <= 2) {
    // A handle must never read as null, nor sit on a standard stream that someone
    // may close or reopen behind our back.
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    if (moved < 0) {
      NoteError("fcntl", path, errno);
      return VORN_USB_OPEN_FAILED;
    }
    fd = moved;
  }
  return static_cast<VornUsbHandle>(fd);
}

VORN_EXPORT int32_t CloseDevice(VornUsbHandle handle) {
  int fd = HandleFd(handle);
  if (fd < 0) return -1;
  return ::close(fd) == 0 ? 0 : -1;
}

VORN_EXPORT int32_t uWrite(VornUsbHandle handle, int32_t pipe, const uint8_t* bytes,
                           int32_t count) {
  int fd = HandleFd(handle);
  if (fd < 0 || pipe != 0 || count <= 0 || bytes == nullptr) return 0;
  const auto timeout = std::chrono::milliseconds(g_write_timeout_ms.load());
  auto deadline = Clock::now() + timeout;
  int32_t taken = 0;
  while (taken < count) {
    ssize_t n = ::write(fd, bytes + taken, static_cast<size_t>(count - taken));
    if (n > 0) {
      taken += static_cast<int32_t>(n);
      deadline = Clock::now() + timeout;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitReady(fd, POLLOUT, deadline)) {
        std::snprintf(t_last_error, sizeof t_last_error,
                      "write: the printer took no byte for %d ms (%d of %d bytes taken)",
                      static_cast<int>(timeout.count()), static_cast<int>(taken),
                      static_cast<int>(count));
        break;
      }
      continue;
    }
    // A device error, or a write that took nothing.
    if (n < 0) {
      NoteError("write", "", errno);
    } else {
      std::snprintf(t_last_error, sizeof t_last_error, "write: the device took nothing");
    }
    break;
  }
  return taken;
}

VORN_EXPORT int32_t uRead(VornUsbHandle handle, int32_t pipe, uint8_t* buffer, int32_t capacity) {
  int fd = HandleFd(handle);
  if (fd < 0 || pipe != 0 || capacity < 0 || (capacity > 0 && buffer == nullptr)) return -1;
  if (capacity == 0) return 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(g_read_timeout_ms.load());
  for (;;) {
    ssize_t n = ::read(fd, buffer, static_cast<size_t>(capacity));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!WaitReady(fd, POLLIN, deadline)) return 0;
  }
}

// The control requests need the device itself (usbfs); the printer-class node does not
// offer them, so they report failure.
VORN_EXPORT int32_t ResetPipes(VornUsbHandle) {
  return -1;
}
VORN_EXPORT int32_t VendorRequest(VornUsbHandle, int32_t, int32_t, int32_t, int32_t, uint8_t*,
                                  int32_t) {
  return -1;
}
VORN_EXPORT int32_t GetDescriptor(VornUsbHandle, int32_t, int32_t, uint8_t*, int32_t) {
  return -1;
}
VORN_EXPORT int32_t GetConfiguration(VornUsbHandle) {
  return -1;
}
VORN_EXPORT int32_t GetDeviceStatus(VornUsbHandle) {
  return -1;
}
VORN_EXPORT int32_t GetPipeInfo(VornUsbHandle, int32_t, uint8_t*, int32_t) {
  return -1;
}
VORN_EXPORT int32_t AbortPipes(VornUsbHandle) {
  return -1;
}
VORN_EXPORT int32_t SetInterface(VornUsbHandle, int32_t, int32_t) {
  return -1;
}

VORN_EXPORT int32_t VornUsbSetDevicePattern(const char* pattern) {
  if (pattern == nullptr) pattern = kDefaultPattern;
  if (!PatternValid(pattern)) return -1;
  std::lock_guard lock(g_pattern_mutex);
  std::snprintf(g_pattern, sizeof g_pattern, "%s", pattern);
  return 0;
}

VORN_EXPORT void VornUsbSetTimeouts(int32_t write_ms, int32_t read_ms) {
  if (write_ms > 0) g_write_timeout_ms = write_ms;
  if (read_ms > 0) g_read_timeout_ms = read_ms;
}

VORN_EXPORT const char* VornUsbLastError(void) {
  return t_last_error;
}

// The type checks: each entry point has the shape the program's loader expects.
#define VORN_CHECK_SHAPE(name, type) static_assert(sizeof(static_cast<type>(&name)) > 0);
VORN_USB_ENTRY_POINTS(VORN_CHECK_SHAPE)
static_assert(sizeof(static_cast<VornUsbSetDevicePatternFn>(&VornUsbSetDevicePattern)) > 0);
static_assert(sizeof(static_cast<VornUsbSetTimeoutsFn>(&VornUsbSetTimeouts)) > 0);
static_assert(sizeof(static_cast<VornUsbLastErrorFn>(&VornUsbLastError)) > 0);
