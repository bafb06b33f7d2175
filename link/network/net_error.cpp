#include "link/network/net_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace tillvane::net {

NetErrorKind KindFromErrno(int err) {
  switch (err) {
    case 0:
      return NetErrorKind::None;
    case ECONNREFUSED:
      return NetErrorKind::Refused;
    case ETIMEDOUT:
    case EAGAIN:
    case EINPROGRESS:
      return NetErrorKind::Timeout;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
    case EADDRNOTAVAIL:
    case EAFNOSUPPORT:
      return NetErrorKind::Unreachable;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN:
      return NetErrorKind::Reset;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
      return NetErrorKind::Resource;
    default:
      return NetErrorKind::Unknown;
  }
}

NetError ErrorFromErrno(int err, const char* operation, std::string detail) {
  NetError e;
  e.kind = KindFromErrno(err);
  if (e.kind == NetErrorKind::None) e.kind = NetErrorKind::Unknown;
  e.sys_errno = err;
  e.operation = operation;
  e.detail = std::move(detail);
  return e;
}

NetError ErrorOfKind(NetErrorKind kind, const char* operation, std::string detail) {
  NetError e;
  e.kind = kind;
  e.operation = operation;
  e.detail = std::move(detail);
  return e;
}

std::string NetError::Message() const {
  if (ok()) return {};
  std::string text = operation;
  if (!detail.empty()) {
    if (!text.empty()) text += ' ';
    text += detail;
  }
  std::string reason;
  if (gai_error != 0) {
    reason = gai_strerror(gai_error);
  } else if (sys_errno != 0) {
    const char* d = strerrordesc_np(sys_errno);
    reason = d != nullptr ? d : "unknown error";
  } else {
    switch (kind) {
      case NetErrorKind::Timeout:
        reason = "deadline passed";
        break;
      case NetErrorKind::Closed:
        reason = "the connection was closed after a failed write; apply the link again";
        break;
      case NetErrorKind::Reset:
        reason = "the printer closed the connection";
        break;
      default:
        break;
    }
  }
  if (kind == NetErrorKind::Refused)
    reason += " (the printer is busy with another host, or nothing listens on that port)";
  if (!reason.empty()) {
    if (!text.empty()) text += ": ";
    text += reason;
  }
  return text;
}

}  // namespace tillvane::net
