// What went wrong on the serial link, as a kind the caller can act on and a text for
// the operator or a log.
#pragma once

#include <string>

namespace tillvane::serial {

enum class SerialErrorKind {
  None,
  DeviceNotFound,    // no such device node, or no device behind it
  PermissionDenied,  // the user may not open it (not in group dialout)
  DeviceBusy,        // held exclusively by another program
  InvalidSetting,    // a line setting the device or this link cannot take
  Unsupported,       // the device is not a terminal
  Timeout,           // the write deadline passed with bytes left
  DeviceGone,        // the other side went away (hang-up, unplugged adapter)
  Resource,          // out of file descriptors or memory
  Unknown,
};

struct SerialError {
  SerialErrorKind kind = SerialErrorKind::None;
  int sys_errno = 0;           // 0 when the error did not come from a system call
  const char* operation = "";  // what was being done, e.g. "open", "tcsetattr"
  std::string detail;          // device path or the refused setting; may be empty

  bool ok() const { return kind == SerialErrorKind::None; }
  // One line: operation, detail and the system's text, e.g.
  // "open /dev/ttyUSB0: No such file or directory".
  std::string Message() const;
};

// The one place where an errno becomes an error kind.
SerialErrorKind KindFromErrno(int err);
SerialError ErrorFromErrno(int err, const char* operation, std::string detail = {});

}  // namespace tillvane::serial
