#include "link/link_state.h"

#include <utility>

namespace tillvane {

LinkState& Links() {
  static LinkState state;
  return state;
}

void ResetLinkState() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  s.LinkKind = LinkNone;
  s.PrintToFile = false;
  s.BusyTimeout = kBusyTimeoutNormal;
  s.SerialHandle.reset();
  s.QueueHandle.reset();
  s.QueueClosedBecause.clear();
  s.UsbHandle.reset();
  s.Parallel.reset();
  s.NetworkHandle.reset();
  s.VirtualHandle.reset();
}

void SetSerialHandle(std::unique_ptr<SerialBackend> handle) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  s.SerialHandle = std::move(handle);
}

void SetQueueHandle(std::unique_ptr<QueueBackend> handle) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  s.QueueHandle = std::move(handle);
  s.QueueClosedBecause.clear();
}

void SetUsbHandle(std::unique_ptr<UsbBackend> handle) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  s.UsbHandle = std::move(handle);
}

void SetParallel(std::unique_ptr<ParallelBackend> backend) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  s.Parallel = std::move(backend);
}

void SetNetworkHandle(std::unique_ptr<NetworkBackend> handle) {
  LinkState& s = Links();
  std::unique_ptr<NetworkBackend> closing;
  {
    std::lock_guard lock(s.mutex);
    closing = std::move(s.NetworkHandle);
    s.NetworkHandle = std::move(handle);
  }
}

ReplyChannel* OpenReplyChannel(LinkState& s) {
  switch (s.LinkKind.load()) {
    case LinkSerial:
      return s.SerialHandle.get();
    case LinkNetwork:
      return s.NetworkHandle.get();
    case LinkVirtual:
      return s.VirtualHandle.get();
    default:
      return nullptr;
  }
}

void SetVirtualHandle(std::unique_ptr<VirtualBackend> handle) {
  LinkState& s = Links();
  std::unique_ptr<VirtualBackend> old;
  {
    std::lock_guard lock(s.mutex);
    old = std::exchange(s.VirtualHandle, std::move(handle));
  }
  // The old link stops its printing thread outside the lock.
}

bool SerialHandleValid() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return s.SerialHandle != nullptr;
}

bool QueueOpen() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return s.QueueHandle != nullptr;
}

std::string LinkFailureReason() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  switch (s.LinkKind.load()) {
    case LinkParallel:
      return s.Parallel ? s.Parallel->FailureReason() : "the port I/O library is not loaded";
    case LinkSerial:
      return s.SerialHandle ? s.SerialHandle->FailureReason() : "no serial device is open";
    case LinkPrintQueue:
      if (s.QueueHandle) return s.QueueHandle->FailureReason();
      return s.QueueClosedBecause.empty()
                 ? "the print queue was closed after a failure"
                 : "the print queue was closed after a failure: " + s.QueueClosedBecause;
    case LinkUsb:
      return s.UsbHandle ? s.UsbHandle->FailureReason() : "no USB device is open";
    case LinkNetwork:
      return s.NetworkHandle ? s.NetworkHandle->FailureReason() : "no network printer is connected";
    case LinkVirtual:
      return s.VirtualHandle ? s.VirtualHandle->FailureReason() : "the virtual printer is closed";
    default:
      return "no link is open";
  }
}

void CloseQueue() {
  LinkState& s = Links();
  std::unique_ptr<QueueBackend> closing;
  {
    std::lock_guard lock(s.mutex);
    closing = std::move(s.QueueHandle);
  }
  // Destroying the back end closes the queue, outside the lock.
}

bool StartJobDocument() {
  LinkState& s = Links();
  if (s.LinkKind != LinkPrintQueue) return true;
  bool started = false;
  {
    std::lock_guard lock(s.mutex);
    started = s.QueueHandle != nullptr && s.QueueHandle->StartDocument();
    if (!started && s.QueueHandle) s.QueueClosedBecause = s.QueueHandle->FailureReason();
  }
  if (!started) CloseQueue();
  return started;
}

void EndJobDocument() {
  LinkState& s = Links();
  if (s.LinkKind != LinkPrintQueue) return;
  bool ended = true;
  {
    std::lock_guard lock(s.mutex);
    if (s.QueueHandle != nullptr) ended = s.QueueHandle->EndDocument();
    if (!ended && s.QueueHandle) s.QueueClosedBecause = s.QueueHandle->FailureReason();
  }
  if (!ended) CloseQueue();
}

}  // namespace tillvane
