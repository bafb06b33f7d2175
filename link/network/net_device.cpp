#include "link/network/net_device.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>

namespace tillvane::net {
namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive on an idle connection: first probe after 5 s, then every 2 s, given up
// after 3 unanswered probes.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepCount = 3;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  if (left > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(left);
}

// Waits for `events` on `fd` until the deadline. 1 ready, 0 deadline passed, -1 error
// (errno set).
int PollUntil(int fd, short events, Clock::time_point deadline, short* revents) {
  for (;;) {
    const int left = MsLeft(deadline);
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, left);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) {
      if (left == 0) return 0;
      continue;
    }
    *revents = p.revents;
    return 1;
  }
}

std::string Describe(const sockaddr* sa) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (sa->sa_family == AF_INET) {
    auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    port = ntohs(in->sin_port);
  } else if (sa->sa_family == AF_INET6) {
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    port = ntohs(in6->sin6_port);
  }
  return FormatNetworkAddress(NetworkAddress{host, port});
}

// The options of a printer connection. Tuning a system does not offer is not a
// failure: the write deadline still bounds every write.
void SetOptions(int fd, uint32_t write_ms) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
  const unsigned int user_timeout = write_ms;
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout);
}

// One address: a non-blocking connect, waited for until the deadline. The descriptor,
// or -1 with the reason in `error`.
int ConnectOne(const addrinfo* ai, const NetworkTimeouts& timeouts, Clock::time_point deadline,
               NetError* error) {
  const std::string where = Describe(ai->ai_addr);
  int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    *error = ErrorFromErrno(errno, "socket", where);
    return -1;
  }
  SetOptions(fd, timeouts.write_ms);
  int r;
  do {
    r = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
  } while (r != 0 && errno == EINTR);
  if (r != 0 && errno != EINPROGRESS) {
    *error = ErrorFromErrno(errno, "connect", where);
    ::close(fd);
    return -1;
  }
  if (r != 0) {
    short revents = 0;
    const int ready = PollUntil(fd, POLLOUT, deadline, &revents);
    if (ready <= 0) {
      *error = ready == 0 ? ErrorOfKind(NetErrorKind::Timeout, "connect", where)
                          : ErrorFromErrno(errno, "poll", where);
      ::close(fd);
      return -1;
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &len) != 0) so_error = errno;
    if (so_error != 0) {
      *error = ErrorFromErrno(so_error, "connect", where);
      ::close(fd);
      return -1;
    }
  }
  *error = {};
  return fd;
}

}  // namespace

std::unique_ptr<NetworkDevice> NetworkDevice::Connect(const NetworkAddress& address,
                                                      const NetworkTimeouts& timeouts,
                                                      NetError* error) {
  NetError ignored;
  if (error == nullptr) error = &ignored;
  const std::string typed = FormatNetworkAddress(address);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts.connect_ms);
  if (address.host.empty()) {
    *error = ErrorOfKind(NetErrorKind::BadAddress, "connect", "(no address)");
    return nullptr;
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(address.port);
  const int gai = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &list);
  if (gai != 0) {
    NetError e = ErrorOfKind(NetErrorKind::NameNotFound, "getaddrinfo", address.host);
    if (gai == EAI_SYSTEM) {
      e.sys_errno = errno;
    } else {
      e.gai_error = gai;
    }
    if (gai == EAI_MEMORY) e.kind = NetErrorKind::Resource;
    *error = std::move(e);
    return nullptr;
  }

  // Every address in turn, within one deadline for them all. The error kept is the
  // first address's, unless a later one got further.
  NetError first;
  int fd = -1;
  std::string peer;
  for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (MsLeft(deadline) == 0) {
      if (first.ok()) first = ErrorOfKind(NetErrorKind::Timeout, "connect", typed);
      break;
    }
    NetError e;
    fd = ConnectOne(ai, timeouts, deadline, &e);
    if (fd >= 0) {
      peer = Describe(ai->ai_addr);
      break;
    }
    if (first.ok() || (first.kind == NetErrorKind::Unreachable && e.kind != first.kind))
      first = std::move(e);
  }
  ::freeaddrinfo(list);
  if (fd < 0) {
    *error = first.ok() ? ErrorOfKind(NetErrorKind::Unknown, "connect", typed) : std::move(first);
    return nullptr;
  }
  *error = {};
  return std::unique_ptr<NetworkDevice>(new NetworkDevice(fd, std::move(peer), timeouts));
}

NetworkDevice::~NetworkDevice() {
  if (fd_ >= 0) CloseGracefully(fd_, timeouts_.close_drain_ms);
  fd_ = -1;
}

void NetworkDevice::CloseNow() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int32_t NetworkDevice::Fail(NetError error) {
  last_error_ = std::move(error);
  CloseNow();
  return -1;
}

int32_t NetworkDevice::Write(const uint8_t* bytes, int32_t length) {
  if (fd_ < 0) {
    last_error_ = ErrorOfKind(NetErrorKind::Closed, "send", peer_);
    return -1;
  }
  if (length < 0 || (length > 0 && bytes == nullptr)) return -1;
  if (length == 0) return 0;

  // The common case is one send that takes everything; the clock is read only when
  // the printer makes us wait.
  int32_t taken = 0;
  bool have_deadline = false;
  Clock::time_point deadline{};
  for (;;) {
    const ssize_t n = ::send(fd_, bytes + taken, static_cast<size_t>(length - taken), MSG_NOSIGNAL);
    if (n > 0) {
      taken += static_cast<int32_t>(n);
      if (taken == length) return length;
      continue;
    }
    if (n < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      if (err != EAGAIN && err != EWOULDBLOCK) return Fail(ErrorFromErrno(err, "send", peer_));
    }
    if (!have_deadline) {
      deadline = Clock::now() + std::chrono::milliseconds(timeouts_.write_ms);
      have_deadline = true;
    }
    short revents = 0;
    const int ready = PollUntil(fd_, POLLOUT, deadline, &revents);
    if (ready == 0) return Fail(ErrorOfKind(NetErrorKind::Timeout, "send", peer_));
    if (ready < 0) return Fail(ErrorFromErrno(errno, "poll", peer_));
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) && !(revents & POLLOUT)) {
      int so_error = 0;
      socklen_t len = sizeof so_error;
      ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &so_error, &len);
      return Fail(ErrorFromErrno(so_error != 0 ? so_error : ECONNRESET, "send", peer_));
    }
  }
}

bool NetworkDevice::Purge() {
  if (fd_ < 0) return false;
  uint8_t scrap[512];
  for (;;) {
    const ssize_t n = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return true;  // the printer closed its side; the next write will tell
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    last_error_ = ErrorFromErrno(errno, "recv", peer_);
    return false;
  }
}

int32_t NetworkDevice::ReceiveQueueCount() {
  if (fd_ < 0) return -1;
  int count = 0;
  if (::ioctl(fd_, FIONREAD, &count) == 0) return count;
  last_error_ = ErrorFromErrno(errno, "FIONREAD", peer_);
  return -1;
}

int32_t NetworkDevice::Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) {
  if (fd_ < 0 || capacity <= 0 || bytes == nullptr) return -1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    const ssize_t n = ::recv(fd_, bytes, static_cast<size_t>(capacity), MSG_DONTWAIT);
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) {
      last_error_ = ErrorOfKind(NetErrorKind::Reset, "recv", peer_);
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      last_error_ = ErrorFromErrno(errno, "recv", peer_);
      return -1;
    }
    short revents = 0;
    const int ready = PollUntil(fd_, POLLIN, deadline, &revents);
    if (ready == 0) return 0;
    if (ready < 0) {
      last_error_ = ErrorFromErrno(errno, "poll", peer_);
      return -1;
    }
  }
}

bool CloseGracefully(int fd, uint32_t drain_ms) {
  bool orderly = false;
  if (::shutdown(fd, SHUT_WR) == 0) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(drain_ms);
    uint8_t scrap[4096];
    for (;;) {
      const ssize_t n = ::recv(fd, scrap, sizeof scrap, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n == 0) {
        orderly = true;
        break;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) break;
      short revents = 0;
      if (PollUntil(fd, POLLIN, deadline, &revents) <= 0) break;
    }
  }
  ::close(fd);
  return orderly;
}

}  // namespace tillvane::net
