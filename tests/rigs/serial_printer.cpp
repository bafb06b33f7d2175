#include "tests/rigs/serial_printer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tillvane::rigs {
namespace {

constexpr uint8_t kStatusRequest[3] = {0x1D, 0x72, 0x01};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

SimSerialPrinter::~SimSerialPrinter() {
  Stop();
}

bool SimSerialPrinter::Start(std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    CloseFd(master_);
    CloseFd(slave_);
    CloseFd(wake_);
    return false;
  };
  if (thread_.joinable()) return true;
  char name[128] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return fail("openpty");
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Raw slave once, before anyone opens it: every byte value passes unchanged. The
  // master's termios is never touched (it would change the slave's).
  termios t{};
  if (::tcgetattr(slave_, &t) != 0) return fail("tcgetattr");
  cfmakeraw(&t);
  if (::tcsetattr(slave_, TCSANOW, &t) != 0) return fail("tcsetattr");
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return fail("eventfd");
  path_ = name;
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimSerialPrinter::StopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
}

void SimSerialPrinter::Stop() {
  StopThread();
  CloseFd(master_);
  CloseFd(slave_);
  CloseFd(wake_);
}

void SimSerialPrinter::CloseMaster() {
  StopThread();
  CloseFd(master_);
}

std::string SimSerialPrinter::PortsLine(int com_number) const {
  return "COM" + std::to_string(com_number) + "=" + path_;
}

void SimSerialPrinter::Wake() {
  if (wake_ < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
}

void SimSerialPrinter::SetMode(Mode mode) {
  {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }
  Wake();
}

SimSerialPrinter::Mode SimSerialPrinter::mode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

void SimSerialPrinter::StopReadingAfter(size_t count) {
  std::lock_guard lock(mutex_);
  stop_after_ = count;
}

void SimSerialPrinter::SetStatusByte(uint8_t status) {
  std::lock_guard lock(mutex_);
  status_ = status;
}

void SimSerialPrinter::SetRealTimeStatus(int n, std::optional<uint8_t> answer) {
  if (n < 1 || n > 4) return;
  std::lock_guard lock(mutex_);
  realtime_[static_cast<size_t>(n - 1)] = answer;
}

int SimSerialPrinter::realtime_requests() const {
  std::lock_guard lock(mutex_);
  return realtime_requests_;
}

void SimSerialPrinter::SetRecording(bool on) {
  std::lock_guard lock(mutex_);
  recording_ = on;
}

void SimSerialPrinter::SetOnReceive(std::function<void(const uint8_t*, size_t)> on_receive) {
  std::lock_guard lock(mutex_);
  on_receive_ = std::move(on_receive);
}

bool SimSerialPrinter::SendToLink(const uint8_t* bytes, size_t length) {
  if (master_ < 0) return false;
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(master_, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SimSerialPrinter::SendXoff() {
  const uint8_t b = 0x13;
  return SendToLink(&b, 1);
}

bool SimSerialPrinter::SendXon() {
  const uint8_t b = 0x11;
  return SendToLink(&b, 1);
}

std::vector<uint8_t> SimSerialPrinter::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

size_t SimSerialPrinter::received_count() const {
  std::lock_guard lock(mutex_);
  return received_count_;
}

int SimSerialPrinter::status_requests() const {
  std::lock_guard lock(mutex_);
  return status_requests_;
}

void SimSerialPrinter::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
  received_count_ = 0;
  status_requests_ = 0;
  match_ = 0;
}

bool SimSerialPrinter::WaitForReceived(size_t count, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return received_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                               [&] { return received_count_ >= count; });
}

void SimSerialPrinter::Process(const uint8_t* bytes, size_t length) {
  bool stop = false;
  uint8_t replies[64];
  size_t count = 0;
  std::function<void(const uint8_t*, size_t)> on_receive;
  {
    std::lock_guard lock(mutex_);
    if (recording_) received_.insert(received_.end(), bytes, bytes + length);
    received_count_ += length;
    const bool answering = mode_ == Mode::Answer;
    for (size_t i = 0; i < length; ++i) {
      const uint8_t b = bytes[i];
      if (b == kStatusRequest[match_]) {
        if (++match_ == 3) {
          ++status_requests_;
          if (answering && count < sizeof replies) replies[count++] = status_;
          match_ = 0;
        }
      } else {
        match_ = b == kStatusRequest[0] ? 1 : 0;
      }
      if (last_two_[0] == 0x10 && last_two_[1] == 0x04 && b >= 1 && b <= 4) {  // DLE EOT n
        ++realtime_requests_;
        const auto& a = realtime_[b - 1];
        if (answering && a && count < sizeof replies) replies[count++] = *a;
        last_two_[0] = last_two_[1] = 0;
        continue;
      }
      last_two_[0] = last_two_[1];
      last_two_[1] = b;
    }
    if (stop_after_ != 0 && received_count_ >= stop_after_) {
      stop_after_ = 0;
      mode_ = Mode::StopReading;
      stop = true;
    }
    on_receive = on_receive_;
  }
  received_cv_.notify_all();
  if (stop) SendXoff();
  if (on_receive) on_receive(bytes, length);
  if (count > 0) SendToLink(replies, count);
}

void SimSerialPrinter::Run() {
  uint8_t buffer[4096];
  for (;;) {
    bool reading;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      reading = mode_ != Mode::StopReading;
    }
    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
    int r = ::poll(fds, reading ? 2 : 1, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof count);
      continue;  // look at the mode again before reading
    }
    if (!reading) continue;
    if (fds[1].revents & POLLIN) {
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) {
        Process(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // No slave side open at the moment: nothing to read until one is.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

}  // namespace tillvane::rigs
