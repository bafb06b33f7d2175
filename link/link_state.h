// The program-wide link state: which link is open, its handles, and the copy of the
// traffic into "Commands.dat".
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/backends.h"

namespace tillvane {

// Values of LinkKind. The numbering is fixed: the port page opens links by it and the
// command-file stream chooses its block size by it.
inline constexpr int32_t LinkNone = -1;
inline constexpr int32_t LinkParallel = 0;
inline constexpr int32_t LinkSerial = 1;
inline constexpr int32_t LinkPrintQueue = 2;
inline constexpr int32_t LinkUsb = 3;
inline constexpr int32_t LinkVirtual = 5;  // the virtual printer drawn in memory
inline constexpr int32_t LinkNetwork = 6;

inline constexpr const char* kCommandFileName = "Commands.dat";
inline constexpr int64_t kCommandFileLimit = 512'000'000;
inline constexpr uint32_t kBusyTimeoutNormal = 2000;
inline constexpr uint32_t kBusyTimeoutDownload = 800000;

struct LinkState {
  std::atomic<int32_t> LinkKind{LinkNone};
  std::atomic<bool> PrintToFile{false};
  // The parallel link's longest wait for a ready printer before one byte, in ms;
  // raised while a logo downloads.
  std::atomic<uint32_t> BusyTimeout{kBusyTimeoutNormal};

  // Handles. An empty SerialHandle is the invalid handle; an empty QueueHandle is a
  // queue marked closed, on which no spooler call is ever made; Parallel empty means
  // the port I/O library is not loaded.
  std::unique_ptr<SerialBackend> SerialHandle;
  std::unique_ptr<QueueBackend> QueueHandle;
  // Why the print server failed the write that closed the queue.
  std::string QueueClosedBecause;
  std::unique_ptr<UsbBackend> UsbHandle;
  std::unique_ptr<ParallelBackend> Parallel;
  // Empty when no network printer is connected, or after a failed write closed it.
  std::unique_ptr<NetworkBackend> NetworkHandle;
  std::unique_ptr<VirtualBackend> VirtualHandle;

  // Held for the whole of each SendData call and of each document framing step, so
  // that two senders can never interleave bytes within one call. Handle changes
  // take it too.
  std::mutex mutex;
};

// The one instance of the program.
LinkState& Links();

// Puts every value back to its start-up state, closing nothing but dropping all
// handles. Used at start-up and between tests.
void ResetLinkState();

// Handle changes, each under the link lock.
void SetSerialHandle(std::unique_ptr<SerialBackend> handle);
void SetQueueHandle(std::unique_ptr<QueueBackend> handle);
void SetUsbHandle(std::unique_ptr<UsbBackend> handle);
void SetParallel(std::unique_ptr<ParallelBackend> backend);
// The connection replaced is closed outside the link lock (its closing handshake may
// wait for the printer).
void SetNetworkHandle(std::unique_ptr<NetworkBackend> handle);
void SetVirtualHandle(std::unique_ptr<VirtualBackend> handle);
bool SerialHandleValid();
bool QueueOpen();  // false when marked closed

// Why the open link's last send failed, in the system's words ("write /dev/ttyUSB0:
// Input/output error"), or what is missing ("no serial device is open"); empty when
// the link has nothing to say. For logs and message details after a failure.
std::string LinkFailureReason();

// The receive side of the open link, when its printer can answer (serial, network);
// null otherwise. Call with the link lock held.
ReplyChannel* OpenReplyChannel(LinkState& s);

// Closes the print queue and marks it closed (no call on a queue already marked).
void CloseQueue();

// Print-queue document framing used by every sender. When the link is not the print
// queue they do nothing and succeed.
//
// StartJobDocument: starts a raw document; when the queue is marked closed or the
// start fails, closes the queue and returns false: the job must not be sent.
[[nodiscard]] bool StartJobDocument();
// EndJobDocument: ends the document; when that fails, closes the queue. A queue
// already closed by a failed write is left alone.
void EndJobDocument();

}  // namespace tillvane
