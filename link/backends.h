// The device side of each link kind. A real back end drives a device; a test puts a
// simulated or recording printer behind the same interface. Each turns its device's
// own write result into the one of Link::Send.
#pragma once

#include <cstdint>
#include <string>

#include "link/link.h"

namespace tillvane {

// Parallel row: the handshake write of the parallel port.
class ParallelBackend : public Link {
 public:
  ParallelBackend() : Link(LinkKind::Parallel) {}
  // The port I/O library may throw from a register access: the send fails.
  bool Send(const uint8_t* bytes, int32_t length) final {
    try {
      return WriteBuffer(bytes, length) == length;
    } catch (...) {
      return false;
    }
  }
  // Returns `length` when every byte was strobed out, 0 otherwise (the bytes before a
  // failure have been printed all the same).
  virtual int32_t WriteBuffer(const uint8_t* bytes, int32_t length) = 0;
};

// Serial row: an open serial device with its write deadline set.
class SerialBackend : public Link, public ReplyChannel {
 public:
  SerialBackend() : Link(LinkKind::Serial) {}
  bool Send(const uint8_t* bytes, int32_t length) final { return Write(bytes, length) == length; }
  ReplyChannel* Replies() final { return this; }
  // One write of all bytes within the port's deadline. Returns the count taken, or -1
  // when the device failed before taking anything.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // A write's deadline: `multiplier_ms` per byte plus `constant_ms`. A port without
  // deadlines of its own (a recorder, say) ignores it.
  virtual void SetWriteTimeouts(uint32_t multiplier_ms, uint32_t constant_ms) {
    (void)multiplier_ms;
    (void)constant_ms;
  }
};

// Print-queue row: an open raw print queue.
class QueueBackend : public Link {
 public:
  QueueBackend() : Link(LinkKind::PrintQueue) {}
  bool Send(const uint8_t* bytes, int32_t length) final { return Write(bytes, length); }
  bool ClosesAfterFailedSend() const final { return true; }
  bool StartDocument() override = 0;
  virtual bool Write(const uint8_t* bytes, int32_t length) = 0;
  bool EndDocument() override = 0;
};

// USB row: an open device of the maker's USB library.
class UsbBackend : public Link {
 public:
  UsbBackend() : Link(LinkKind::Usb) {}
  bool Send(const uint8_t* bytes, int32_t length) final { return Write(bytes, length) == length; }
  // uWrite: the number of bytes the device took.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
};

// Network row: a connection to a raw TCP printer. Each write is taken whole within
// the write deadline or fails; a failed write closes the connection, and every later
// write fails at once.
class NetworkBackend : public Link, public ReplyChannel {
 public:
  NetworkBackend() : Link(LinkKind::Network) {}
  bool Send(const uint8_t* bytes, int32_t length) final { return Write(bytes, length) == length; }
  ReplyChannel* Replies() final { return this; }
  // Returns `length`, or -1 when the bytes could not all be sent in time.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
};

// Virtual-printer row: a printer drawn in memory, whose back channel answers status
// requests as a serial printer's does.
class VirtualBackend : public Link, public ReplyChannel {
 public:
  VirtualBackend() : Link(LinkKind::Virtual) {}
  bool Send(const uint8_t* bytes, int32_t length) final { return Write(bytes, length) == length; }
  ReplyChannel* Replies() final { return this; }
  // Takes the bytes for printing. Returns the count taken: all of them, unless the
  // link was closed meanwhile.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // Waits until every byte taken has been printed and answered; false when
  // `timeout_ms` passed first.
  virtual bool WaitUntilPrinted(int timeout_ms) = 0;
};

}  // namespace tillvane
