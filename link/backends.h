// The narrow interfaces behind the rows of SendData. A real back end drives a
// device; a test puts a simulated or recording printer behind the same interface.
#pragma once

#include <cstdint>
#include <string>

namespace tillvane {

// Parallel row: the handshake write of the parallel port.
class ParallelBackend {
 public:
  virtual ~ParallelBackend() = default;
  // Returns `length` when every byte was strobed out, 0 otherwise (the bytes before a
  // failure have been printed all the same).
  virtual int32_t WriteBuffer(const uint8_t* bytes, int32_t length) = 0;
  // Why the last failed write failed, in the system's words; empty when nothing
  // failed. Asked only after a failure, never on the send path.
  virtual std::string FailureReason() const { return {}; }
};

// The receive side of a link whose printer can answer (status requests).
class ReplyChannel {
 public:
  virtual ~ReplyChannel() = default;
  // Drops whatever waits to be sent or received.
  virtual bool Purge() = 0;
  // Bytes waiting in the receive queue, or -1 when the device cannot tell.
  virtual int32_t ReceiveQueueCount() = 0;
  // Reads up to `capacity` bytes, waiting up to `timeout_ms` for the first. Returns the
  // count read, 0 when nothing came in time, -1 when the link cannot read.
  virtual int32_t Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) {
    (void)bytes, (void)capacity, (void)timeout_ms;
    return -1;
  }
};

// Serial row: an open serial device with its write deadline set.
class SerialBackend : public ReplyChannel {
 public:
  // One write of all bytes within the port's deadline. Returns the count taken, or -1
  // when the device failed before taking anything.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // Why the last failed call failed, in the system's words; empty when nothing failed.
  virtual std::string FailureReason() const { return {}; }
  // A write's deadline: `multiplier_ms` per byte plus `constant_ms`. A port without
  // deadlines of its own (a recorder, say) ignores it.
  virtual void SetWriteTimeouts(uint32_t multiplier_ms, uint32_t constant_ms) {
    (void)multiplier_ms;
    (void)constant_ms;
  }
};

// Print-queue row: an open raw print queue.
class QueueBackend {
 public:
  virtual ~QueueBackend() = default;
  virtual bool StartDocument() = 0;
  virtual bool Write(const uint8_t* bytes, int32_t length) = 0;
  virtual bool EndDocument() = 0;
  virtual std::string FailureReason() const { return {}; }
};

// USB row: an open device of the maker's USB library.
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // uWrite: the number of bytes the device took.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  virtual std::string FailureReason() const { return {}; }
};

// Network row: a connection to a raw TCP printer. Each write is taken whole within
// the write deadline or fails; a failed write closes the connection, and every later
// write fails at once.
class NetworkBackend : public ReplyChannel {
 public:
  // Returns `length`, or -1 when the bytes could not all be sent in time.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  virtual std::string FailureReason() const { return {}; }
};

// Virtual-printer row: a printer drawn in memory, whose back channel answers status
// requests as a serial printer's does.
class VirtualBackend : public ReplyChannel {
 public:
  // Takes the bytes for printing. Returns the count taken: all of them, unless the
  // link was closed meanwhile.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // Waits until every byte taken has been printed and answered; false when
  // `timeout_ms` passed first.
  virtual bool WaitUntilPrinted(int timeout_ms) = 0;
  virtual std::string FailureReason() const { return {}; }
};

}  // namespace tillvane
