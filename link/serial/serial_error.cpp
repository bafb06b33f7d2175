#include "link/serial/serial_error.h"

#include <cerrno>
#include <cstring>

namespace tillvane::serial {

SerialErrorKind KindFromErrno(int err) {
  switch (err) {
    case 0:
      return SerialErrorKind::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return SerialErrorKind::DeviceNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return SerialErrorKind::PermissionDenied;
    case EBUSY:
      return SerialErrorKind::DeviceBusy;
    case ENOTTY:
      return SerialErrorKind::Unsupported;
    case EINVAL:
      return SerialErrorKind::InvalidSetting;
    case ETIMEDOUT:
    case EAGAIN:
      return SerialErrorKind::Timeout;
    case EIO:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN:
      return SerialErrorKind::DeviceGone;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOSPC:
      return SerialErrorKind::Resource;
    default:
      return SerialErrorKind::Unknown;
  }
}

SerialError ErrorFromErrno(int err, const char* operation, std::string detail) {
  SerialError e;
  e.kind = KindFromErrno(err);
  if (e.kind == SerialErrorKind::None) e.kind = SerialErrorKind::Unknown;
  e.sys_errno = err;
  e.operation = operation;
  e.detail = std::move(detail);
  return e;
}

std::string SerialError::Message() const {
  if (ok()) return {};
  std::string text = operation;
  if (!detail.empty()) {
    if (!text.empty()) text += ' ';
    text += detail;
  }
  const char* reason = nullptr;
  if (sys_errno != 0) {
    reason = strerrordesc_np(sys_errno);
  } else if (kind == SerialErrorKind::Timeout) {
    reason = "write deadline passed";
  } else if (kind == SerialErrorKind::InvalidSetting) {
    reason = "setting not supported";
  }
  if (reason == nullptr && sys_errno != 0) reason = "unknown error";
  if (reason != nullptr) {
    if (!text.empty()) text += ": ";
    text += reason;
  }
  return text;
}

}  // namespace tillvane::serial
