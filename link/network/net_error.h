// What went wrong on the network link, as a kind the caller can act on and a text with
// the system's reason for the operator or a log.
#pragma once

#include <string>

namespace tillvane::net {

enum class NetErrorKind {
  None,
  BadAddress,    // the typed address cannot be parsed
  NameNotFound,  // the host name does not resolve
  Refused,       // nothing listens, or the printer serves another host
  Timeout,       // connect or write deadline passed
  Unreachable,   // no route to the host or network
  Reset,         // the printer dropped the connection
  Closed,        // the link was closed after an earlier failure
  Resource,      // out of descriptors, memory or buffer space
  Unknown,
};

struct NetError {
  NetErrorKind kind = NetErrorKind::None;
  int sys_errno = 0;           // 0 when the error did not come from a system call
  int gai_error = 0;           // getaddrinfo's result for NameNotFound
  const char* operation = "";  // e.g. "connect", "send", "getaddrinfo"
  std::string detail;          // the address, e.g. "192.168.1.50:9100"

  bool ok() const { return kind == NetErrorKind::None; }
  // One line, e.g. "connect 127.0.0.1:9100: Connection refused (the printer is busy
  // with another host, or nothing listens on that port)".
  std::string Message() const;
};

// The one place where an errno becomes an error kind.
NetErrorKind KindFromErrno(int err);
NetError ErrorFromErrno(int err, const char* operation, std::string detail = {});
NetError ErrorOfKind(NetErrorKind kind, const char* operation, std::string detail = {});

}  // namespace tillvane::net
