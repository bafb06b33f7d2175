#include "tests/rigs/network_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace tillvane::rigs {
namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The loopback address of the family, with `port`.
socklen_t LoopbackAddress(SimNetworkPrinter::Family family, uint16_t port, sockaddr_storage* ss) {
  std::memset(ss, 0, sizeof *ss);
  if (family == SimNetworkPrinter::Family::IPv6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(ss);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    in6->sin6_port = htons(port);
    return sizeof *in6;
  }
  auto* in = reinterpret_cast<sockaddr_in*>(ss);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  in->sin_port = htons(port);
  return sizeof *in;
}

constexpr int kBacklog = 8;

}  // namespace

SimNetworkPrinter::~SimNetworkPrinter() {
  Stop();
}

bool SimNetworkPrinter::Start(Family family, uint16_t port, std::string* error) {
  if (thread_.joinable()) return true;
  family_ = family;
  port_ = port;
  if (!Listen(error)) return false;
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) {
    if (error) *error = std::string("eventfd: ") + std::strerror(errno);
    StopListening();
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimNetworkPrinter::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    Wake();
    thread_.join();
  }
  for (Client& c : clients_) ::close(c.fd);
  clients_.clear();
  DropBacklog();
  StopListening();
  if (wake_ >= 0) ::close(wake_);
  wake_ = -1;
  std::lock_guard lock(mutex_);
  open_ = 0;
  cv_.notify_all();
}

std::string SimNetworkPrinter::Address() const {
  const std::string host = family_ == Family::IPv6 ? "[::1]" : "127.0.0.1";
  return host + ":" + std::to_string(port_.load());
}

std::string SimNetworkPrinter::AddressLine() const {
  return "Address=" + Address();
}

void SimNetworkPrinter::Wake() {
  if (wake_ < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
}

#define TILLVANE_RIG_SETTER(Name, field, Type) \
  void SimNetworkPrinter::Name(Type value) {   \
    {                                          \
      std::lock_guard lock(mutex_);            \
      field = value;                           \
    }                                          \
    Wake();                                    \
  }
TILLVANE_RIG_SETTER(SetSilent, silent_, bool)
TILLVANE_RIG_SETTER(SetStopReadingAfter, stop_after_, std::optional<size_t>)
TILLVANE_RIG_SETTER(SetResetAfter, reset_after_, std::optional<size_t>)
TILLVANE_RIG_SETTER(SetCloseDelayMs, close_delay_ms_, int)
TILLVANE_RIG_SETTER(SetReceiveBuffer, receive_buffer_, int)
TILLVANE_RIG_SETTER(SetPaperStatus, paper_, uint8_t)
TILLVANE_RIG_SETTER(SetRecording, recording_, bool)
#undef TILLVANE_RIG_SETTER

void SimNetworkPrinter::SetRealTimeStatus(int n, std::optional<uint8_t> answer) {
  if (n < 1 || n > 4) return;
  std::lock_guard lock(mutex_);
  realtime_[static_cast<size_t>(n - 1)] = answer;
}

void SimNetworkPrinter::SetOnReceive(std::function<void(const uint8_t*, size_t)> on_receive) {
  std::lock_guard lock(mutex_);
  on_receive_ = std::move(on_receive);
}

std::vector<uint8_t> SimNetworkPrinter::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

size_t SimNetworkPrinter::received_count() const {
  std::lock_guard lock(mutex_);
  return received_count_;
}

void SimNetworkPrinter::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
  received_count_ = 0;
}

bool SimNetworkPrinter::WaitForReceived(size_t count, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return received_count_ >= count; });
}

int SimNetworkPrinter::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

int SimNetworkPrinter::open_connections() const {
  std::lock_guard lock(mutex_);
  return open_;
}

int SimNetworkPrinter::status_requests() const {
  std::lock_guard lock(mutex_);
  return status_requests_;
}

int SimNetworkPrinter::realtime_requests() const {
  std::lock_guard lock(mutex_);
  return realtime_requests_;
}

int SimNetworkPrinter::orderly_closes() const {
  std::lock_guard lock(mutex_);
  return orderly_closes_;
}

bool SimNetworkPrinter::WaitForNoConnection(int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return open_ == 0; });
}

// Refusing and taking no connections change the listening socket on the printer's thread;
// these return once that is done, so a test can connect straight after.
void SimNetworkPrinter::SetRefusing(bool on) {
  std::unique_lock lock(mutex_);
  refusing_ = on;
  lock.unlock();
  Wake();
  lock.lock();
  cv_.wait(lock, [&] { return !thread_.joinable() || applied_refusing_ == on || stopping_; });
}

void SimNetworkPrinter::SetUnresponsive(bool on) {
  std::unique_lock lock(mutex_);
  unresponsive_ = on;
  lock.unlock();
  Wake();
  lock.lock();
  cv_.wait(lock, [&] { return !thread_.joinable() || applied_unresponsive_ == on || stopping_; });
}

bool SimNetworkPrinter::Listen(std::string* error) {
  int backlog = kBacklog;
  int rcvbuf = 0;
  {
    std::lock_guard lock(mutex_);
    if (unresponsive_) backlog = 0;
    rcvbuf = receive_buffer_;
  }
  const int domain = family_ == Family::IPv6 ? AF_INET6 : AF_INET;
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    StopListening();
    return false;
  };
  listener_ = ::socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return fail("socket");
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (domain == AF_INET6) ::setsockopt(listener_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (rcvbuf > 0) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_storage ss;
  const socklen_t len = LoopbackAddress(family_, port_, &ss);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&ss), len) != 0) return fail("bind");
  if (::listen(listener_, backlog) != 0) return fail("listen");
  socklen_t got = sizeof ss;
  if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&ss), &got) != 0)
    return fail("getsockname");
  port_ = family_ == Family::IPv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                                  : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  return true;
}

void SimNetworkPrinter::StopListening() {
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

// Our own connections, never accepted, until the listening queue takes no more: the
// next connect from the link waits for a reply that never comes.
void SimNetworkPrinter::FillBacklog() {
  sockaddr_storage ss;
  const socklen_t len = LoopbackAddress(family_, port_, &ss);
  for (int i = 0; i < kBacklog + 4; ++i) {
    int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    backlog_.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&ss), len) == 0) continue;
    if (errno != EINPROGRESS) return;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 100) == 0) return;  // this one hangs: the queue is full
  }
}

void SimNetworkPrinter::DropBacklog() {
  for (int fd : backlog_) ::close(fd);
  backlog_.clear();
}

void SimNetworkPrinter::Accept() {
  for (;;) {
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    Client c;
    c.fd = fd;
    clients_.push_back(c);
    std::lock_guard lock(mutex_);
    ++connections_;
    ++open_;
  }
}

void SimNetworkPrinter::Reset(Client& c) {
  linger l{1, 0};
  ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(c.fd);
  c.fd = -1;
}

void SimNetworkPrinter::Answer(Client& c, const uint8_t* bytes, size_t length) {
  uint8_t replies[64];
  size_t count = 0;
  int paper = 0, realtime = 0;
  {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < length; ++i) {
      const uint8_t b = bytes[i];
      const uint8_t p2 = c.pending[1], p1 = c.pending[2];
      c.pending[1] = p1;
      c.pending[2] = b;
      if (p2 == 0x1D && p1 == 0x72 && b == 0x01) {  // GS r 1
        ++paper;
        if (!silent_ && count < sizeof replies) replies[count++] = paper_;
      } else if (p2 == 0x10 && p1 == 0x04 && b >= 1 && b <= 4) {  // DLE EOT n
        ++realtime;
        const auto& a = realtime_[b - 1];
        if (!silent_ && a && count < sizeof replies) replies[count++] = *a;
      } else {
        continue;
      }
      c.pending[1] = c.pending[2] = 0;
    }
    status_requests_ += paper;
    realtime_requests_ += realtime;
  }
  if (count > 0) ::send(c.fd, replies, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool SimNetworkPrinter::ReadClient(Client& c) {
  std::optional<size_t> stop_after, reset_after;
  int delay = 0;
  {
    std::lock_guard lock(mutex_);
    stop_after = stop_after_;
    reset_after = reset_after_;
    delay = close_delay_ms_;
  }
  uint8_t buffer[65536];
  size_t cap = sizeof buffer;
  if (stop_after) cap = std::min(cap, *stop_after > c.received ? *stop_after - c.received : 0);
  if (reset_after) cap = std::min(cap, *reset_after > c.received ? *reset_after - c.received : 0);
  if (cap == 0) {
    if (reset_after && c.received >= *reset_after) {
      Reset(c);
      return false;
    }
    c.reading = false;
    return true;
  }
  const ssize_t n = ::recv(c.fd, buffer, cap, 0);
  if (n > 0) {
    std::function<void(const uint8_t*, size_t)> on_receive;
    {
      std::lock_guard lock(mutex_);
      if (recording_) received_.insert(received_.end(), buffer, buffer + n);
      received_count_ += static_cast<size_t>(n);
      on_receive = on_receive_;
    }
    cv_.notify_all();
    c.received += static_cast<size_t>(n);
    if (on_receive) on_receive(buffer, static_cast<size_t>(n));
    Answer(c, buffer, static_cast<size_t>(n));
    if (reset_after && c.received >= *reset_after) {
      Reset(c);
      return false;
    }
    return true;
  }
  if (n == 0) {
    {
      std::lock_guard lock(mutex_);
      ++orderly_closes_;
    }
    c.eof = true;
    c.reading = false;
    c.close_at_ms = NowMs() + delay;
    return delay > 0;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
  return false;  // reset by the link, or any other error
}

void SimNetworkPrinter::Run() {
  bool refusing = false, unresponsive = false;
  for (;;) {
    bool want_refusing, want_unresponsive;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      want_refusing = refusing_;
      want_unresponsive = unresponsive_;
    }
    // Listening changes are made here, on the printer's own thread.
    if (want_refusing != refusing || want_unresponsive != unresponsive) {
      DropBacklog();
      StopListening();
      refusing = want_refusing;
      unresponsive = want_unresponsive;
      if (!refusing) {
        Listen(nullptr);
        if (unresponsive) FillBacklog();
      }
    }
    {
      std::lock_guard lock(mutex_);
      applied_refusing_ = refusing;
      applied_unresponsive_ = unresponsive;
    }
    cv_.notify_all();

    std::vector<pollfd> fds;
    fds.push_back({wake_, POLLIN, 0});
    const bool accepting = listener_ >= 0 && !unresponsive;
    fds.push_back({accepting ? listener_ : -1, POLLIN, 0});
    int64_t next_close = -1;
    for (const Client& c : clients_) {
      fds.push_back({c.reading ? c.fd : -1, POLLIN, 0});
      if (c.eof && (next_close < 0 || c.close_at_ms < next_close)) next_close = c.close_at_ms;
    }
    int timeout = -1;
    if (next_close >= 0) timeout = static_cast<int>(std::max<int64_t>(0, next_close - NowMs()));
    const int r = ::poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) return;

    const bool woke = fds[0].revents & POLLIN;
    if (woke) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof count);
    }
    if (accepting && (fds[1].revents & POLLIN)) Accept();

    const int64_t now = NowMs();
    int closed = 0;
    for (size_t i = 0; i < clients_.size(); ++i) {
      Client& c = clients_[i];
      bool keep = true;
      if (i + 2 < fds.size() && (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)))
        keep = ReadClient(c);
      // A client that stopped reading is looked at again when a setting changes.
      if (keep && woke && !c.reading && !c.eof) c.reading = true;
      if (keep && c.eof && now >= c.close_at_ms) keep = false;
      if (!keep) {
        if (c.fd >= 0) ::close(c.fd);
        c.fd = -1;
        ++closed;
      }
    }
    if (closed > 0) {
      clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                    [](const Client& c) { return c.fd < 0; }),
                     clients_.end());
      std::lock_guard lock(mutex_);
      open_ -= closed;
      cv_.notify_all();
    }
  }
}

}  // namespace tillvane::rigs
