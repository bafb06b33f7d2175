#include "server/listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace tillvane::server {
namespace {

std::string Format(const sockaddr_storage& ss) {
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (ss.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&ss);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (ss.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&ss);
    inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  return "local";
}

}  // namespace

int OpenListener(const std::string& address, std::string* error) {
  std::string host, port;
  if (!address.empty() && address[0] == '[') {
    const size_t close = address.find("]:");
    if (close != std::string::npos) {
      host = address.substr(1, close - 1);
      port = address.substr(close + 2);
    }
  } else if (const size_t colon = address.rfind(':'); colon != std::string::npos) {
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
  }
  const bool port_ok = !port.empty() && port.size() <= 5 &&
                       port.find_first_not_of("0123456789") == std::string::npos &&
                       std::atoi(port.c_str()) <= 65535;
  if (host.empty() || !port_ok) {
    *error = address + ": not an address; give ADDR:PORT, e.g. 127.0.0.1:9100 or [::]:9100";
    return -1;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
    *error = address + ": " + gai_strerror(rc);
    return -1;
  }
  int fd = -1;
  std::string why;
  for (addrinfo* ai = found; ai; ai = ai->ai_next) {
    fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      why = std::strerror(errno);
      continue;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (ai->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && listen(fd, 128) == 0) break;
    const int e = errno;
    why = e == EADDRINUSE      ? "the port is in use"
          : e == EADDRNOTAVAIL ? "no such address on this machine"
          : e == EACCES        ? "no permission to listen on this port"
                               : std::strerror(e);
    close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  if (fd < 0) *error = address + ": " + why;
  return fd;
}

std::vector<int> ActivatedListeners() {
  std::vector<int> fds;
  const int n = sd_listen_fds(1);
  for (int i = 0; i < n; ++i)
    if (sd_is_socket(SD_LISTEN_FDS_START + i, AF_UNSPEC, SOCK_STREAM, 1) > 0)
      fds.push_back(SD_LISTEN_FDS_START + i);
  return fds;
}

std::string LocalAddress(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "unknown";
  return Format(ss);
}

std::string PeerAddress(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "unknown";
  return Format(ss);
}

std::unique_ptr<SerialLink> SerialLink::Open(const std::filesystem::path& link,
                                             std::string* error) {
  std::unique_ptr<SerialLink> s(new SerialLink);
  auto fail = [&](const std::string& what) {
    *error = link.string() + ": " + what + ": " + std::strerror(errno);
    return nullptr;
  };
  s->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s->master_ < 0) return fail("no pseudo-terminal");
  if (grantpt(s->master_) != 0 || unlockpt(s->master_) != 0) return fail("no pseudo-terminal");
  char name[128];
  if (ptsname_r(s->master_, name, sizeof name) != 0) return fail("no pseudo-terminal");
  s->device_ = name;
  s->slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s->slave_ < 0) return fail("cannot open " + s->device_);
  termios t{};
  if (tcgetattr(s->slave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(s->slave_, TCSANOW, &t);
  }
  fcntl(s->master_, F_SETFL, fcntl(s->master_, F_GETFL) | O_NONBLOCK);
  std::error_code ec;
  if (std::filesystem::is_symlink(link, ec)) {
    const auto target = std::filesystem::read_symlink(link, ec);
    if (target.string().rfind("/dev/pts/", 0) != 0) {
      errno = EEXIST;
      return fail("exists and is not a link to a terminal");
    }
    std::filesystem::remove(link, ec);
  }
  if (symlink(name, link.c_str()) != 0) return fail("cannot make the link");
  s->link_ = link;
  return s;
}

SerialLink::~SerialLink() {
  if (!link_.empty()) unlink(link_.c_str());
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

}  // namespace tillvane::server
