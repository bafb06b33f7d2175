// The narrow interfaces behind the rows of SendData. A real back end drives a
// device; a test puts a simulated or recording printer behind the same interface.
#pragma once

#include <cstdint>

namespace tillvane {

// Parallel row: the handshake write of the parallel port.
class ParallelBackend {
 public:
  virtual ~ParallelBackend() = default;
  // Returns `length` when every byte was strobed out, 0 otherwise (the bytes before a
  // failure have been printed all the same).
  virtual int32_t WriteBuffer(const uint8_t* bytes, int32_t length) = 0;
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
};

// Print-queue row: an open raw print queue.
class QueueBackend {
 public:
  virtual ~QueueBackend() = default;
  virtual bool StartDocument() = 0;
  virtual bool Write(const uint8_t* bytes, int32_t length) = 0;
  virtual bool EndDocument() = 0;
};

// USB row: an open device of the maker's USB library.
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // uWrite: the number of bytes the device took.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
};

// Virtual-printer row: a printer drawn in memory, with a back channel that answers
// status requests as a serial printer's does.
class VirtualBackend {
 public:
  virtual ~VirtualBackend() = default;
  // Takes the bytes for printing. Returns the count taken: all of them, unless the
  // link was closed meanwhile.
  virtual int32_t Write(const uint8_t* bytes, int32_t length) = 0;
  // Drops the answers waiting on the back channel.
  virtual bool Purge() = 0;
  // Answer bytes waiting on the back channel.
  virtual int32_t ReceiveQueueCount() = 0;
  // Takes up to `max` answer bytes, oldest first; returns the count.
  virtual int32_t Read(uint8_t* out, int32_t max) = 0;
  // Waits until every byte taken has been printed and answered; false when
  // `timeout_ms` passed first.
  virtual bool WaitUntilPrinted(int timeout_ms) = 0;
};

}  // namespace tillvane
