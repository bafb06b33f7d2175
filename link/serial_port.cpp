#include "link/serial_port.h"

#include <mutex>

#include "link/link_state.h"
#include "link/serial/serial_device.h"

namespace tillvane {
namespace {

std::mutex& ErrorMutex() {
  static std::mutex m;
  return m;
}

std::string& LastErrorText() {
  static std::string text;
  return text;
}

void RecordOpenResult(const serial::SerialError& e) {
  std::lock_guard lock(ErrorMutex());
  LastErrorText() = e.Message();
}

}  // namespace

bool OpenSerialPort(const SerialSettings& settings) {
  // A port already open is closed first, so that the same device can be opened again.
  CloseLinkOf(LinkKind::Serial);

  serial::SerialError error;
  std::unique_ptr<serial::SerialDevice> device =
      serial::SerialDevice::Open(settings.device, &error);
  if (!device) {
    RecordOpenResult(error);
    return false;
  }
  error = device->Configure(settings);
  device->SetWriteTimeouts(serial::kWriteMultiplierMs, serial::kWriteConstantAtOpenMs);
  // The device stays the open link even when configuring failed; the next
  // opening or the window's closing releases it.
  SetLink(std::move(device));
  RecordOpenResult(error);
  return error.ok();
}

void SetSerialTimeoutsForUse() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  if (auto* port = dynamic_cast<SerialBackend*>(s.link.get()))
    port->SetWriteTimeouts(serial::kWriteMultiplierMs, serial::kWriteConstantInUseMs);
}

void CloseSerialPort() {
  CloseLinkOf(LinkKind::Serial);
}

std::string LastSerialOpenError() {
  std::lock_guard lock(ErrorMutex());
  return LastErrorText();
}

}  // namespace tillvane
