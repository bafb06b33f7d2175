// The narrow interfaces behind the four rows of SendData. A real back end drives a
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

// Serial row: an open serial device with its write deadline set.
class SerialBackend {
 public:
  virtual ~SerialBackend() = default;
  // One write of all bytes within the port's deadline. Returns the count taken, or -1
  // when the device failed before taking anything.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // Drops whatever waits in the transmit and receive queues.
  virtual bool Purge() = 0;
  // Bytes waiting in the receive queue, or -1 when the device cannot tell.
  virtual int32_t ReceiveQueueCount() = 0;
  virtual std::string FailureReason() const { return {}; }
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

}  // namespace tillvane
