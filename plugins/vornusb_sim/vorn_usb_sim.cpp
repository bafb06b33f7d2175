// The simulated twin of the USB interface library: a configurable number of printers
// that record what they receive, with writes that can be made short or fail.
//
// Built twice: complete, and with VORN_USB_SIM_INCOMPLETE, which leaves out the last
// entry point so that a loader must notice a library that lacks one.
#include "plugins/vornusb_sim/vorn_usb_sim.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#define VORN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Device {
  bool forced_open = false;
  VornUsbHandle forced_result = 0;
  int32_t write_limit = -1;
  bool failing = false;
  int32_t fail_result = 0;
  int32_t close_calls = 0;
  int32_t open_handles = 0;
  int32_t write_calls = 0;
  std::vector<uint8_t> received;
};

int32_t CountFromEnvironment() {
  const char* text = std::getenv("TILLVANE_SIM_USB_DEVICES");
  if (text == nullptr) return 0;
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (end == text) return 0;
  return static_cast<int32_t>(std::clamp<long>(n, 0, VORN_USB_SIM_MAX_DEVICES));
}

struct Sim {
  std::mutex mutex;
  int32_t load_count = CountFromEnvironment();
  int32_t count = load_count;
  Device devices[VORN_USB_SIM_MAX_DEVICES];
  std::map<int32_t, int32_t> open_calls;     // by any number asked for
  std::map<VornUsbHandle, int32_t> handles;  // open handle -> device
  VornUsbHandle next_handle = 0x5100;
  int32_t stale_calls = 0;

  Device* ByNumber(int32_t n) {
    return (n >= 0 && n < VORN_USB_SIM_MAX_DEVICES) ? &devices[n] : nullptr;
  }
  // The device of an open handle, or null (counted as a stale call).
  Device* ByHandle(VornUsbHandle h) {
    auto it = handles.find(h);
    if (it == handles.end()) {
      ++stale_calls;
      return nullptr;
    }
    return &devices[it->second];
  }
};

Sim& TheSim() {
  static Sim sim;
  return sim;
}

// Constructed when the library loads, so that the environment is read then.
[[maybe_unused]] Sim& g_loaded = TheSim();

int32_t ControlFailure(VornUsbHandle h) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  s.ByHandle(h);
  return -1;
}

}  // namespace

VORN_EXPORT VornUsbHandle OpenDeviceX(int32_t device) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  ++s.open_calls[device];
  Device* d = s.ByNumber(device);
  if (d != nullptr && d->forced_open) return d->forced_result;
  if (d == nullptr || device >= s.count) return VORN_USB_NO_DEVICE;
  VornUsbHandle h = s.next_handle;
  s.next_handle += 4;
  s.handles[h] = device;
  ++d->open_handles;
  return h;
}

VORN_EXPORT int32_t CloseDevice(VornUsbHandle handle) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByHandle(handle);
  if (d == nullptr) return -1;
  ++d->close_calls;
  --d->open_handles;
  s.handles.erase(handle);
  return 0;
}

VORN_EXPORT int32_t uWrite(VornUsbHandle handle, int32_t pipe, const uint8_t* bytes,
                           int32_t count) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByHandle(handle);
  if (d == nullptr || pipe != 0 || count < 0 || (count > 0 && bytes == nullptr)) return 0;
  ++d->write_calls;
  if (d->failing) return d->fail_result;
  int32_t take = d->write_limit >= 0 ? std::min(count, d->write_limit) : count;
  if (take > 0) d->received.insert(d->received.end(), bytes, bytes + take);
  return take;
}

VORN_EXPORT int32_t uRead(VornUsbHandle handle, int32_t, uint8_t*, int32_t) {
  // The simulated printers never answer.
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  return s.ByHandle(handle) != nullptr ? 0 : -1;
}

VORN_EXPORT int32_t ResetPipes(VornUsbHandle h) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t VendorRequest(VornUsbHandle h, int32_t, int32_t, int32_t, int32_t, uint8_t*,
                                  int32_t) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t GetDescriptor(VornUsbHandle h, int32_t, int32_t, uint8_t*, int32_t) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t GetConfiguration(VornUsbHandle h) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t GetDeviceStatus(VornUsbHandle h) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t GetPipeInfo(VornUsbHandle h, int32_t, uint8_t*, int32_t) {
  return ControlFailure(h);
}
VORN_EXPORT int32_t AbortPipes(VornUsbHandle h) {
  return ControlFailure(h);
}
#ifndef VORN_USB_SIM_INCOMPLETE
VORN_EXPORT int32_t SetInterface(VornUsbHandle h, int32_t, int32_t) {
  return ControlFailure(h);
}
#endif

// Controls.

VORN_EXPORT void VornUsbSimReset() {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  s.count = s.load_count;
  for (Device& d : s.devices) d = Device{};
  s.open_calls.clear();
  s.handles.clear();
  s.stale_calls = 0;
}

VORN_EXPORT void VornUsbSimSetDeviceCount(int32_t count) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  s.count = std::clamp<int32_t>(count, 0, VORN_USB_SIM_MAX_DEVICES);
}

VORN_EXPORT void VornUsbSimForceOpenResult(int32_t device, int32_t forced, VornUsbHandle result) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  if (Device* d = s.ByNumber(device)) {
    d->forced_open = forced != 0;
    d->forced_result = result;
  }
}

VORN_EXPORT void VornUsbSimSetWriteLimit(int32_t device, int32_t limit) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  if (Device* d = s.ByNumber(device)) d->write_limit = limit;
}

VORN_EXPORT void VornUsbSimSetWriteFailure(int32_t device, int32_t failing, int32_t result) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  if (Device* d = s.ByNumber(device)) {
    d->failing = failing != 0;
    d->fail_result = result;
  }
}

VORN_EXPORT int32_t VornUsbSimOpenCalls(int32_t device) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  auto it = s.open_calls.find(device);
  return it == s.open_calls.end() ? 0 : it->second;
}

VORN_EXPORT int32_t VornUsbSimCloseCalls(int32_t device) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByNumber(device);
  return d != nullptr ? d->close_calls : 0;
}

VORN_EXPORT int32_t VornUsbSimOpenHandles(int32_t device) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByNumber(device);
  return d != nullptr ? d->open_handles : 0;
}

VORN_EXPORT int32_t VornUsbSimWriteCalls(int32_t device) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByNumber(device);
  return d != nullptr ? d->write_calls : 0;
}

VORN_EXPORT int32_t VornUsbSimStaleHandleCalls() {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  return s.stale_calls;
}

VORN_EXPORT int32_t VornUsbSimReceived(int32_t device, uint8_t* buffer, int32_t capacity) {
  Sim& s = TheSim();
  std::lock_guard lock(s.mutex);
  Device* d = s.ByNumber(device);
  if (d == nullptr) return 0;
  size_t n = std::min(d->received.size(), capacity > 0 ? static_cast<size_t>(capacity) : 0);
  if (n > 0 && buffer != nullptr) std::memcpy(buffer, d->received.data(), n);
  return static_cast<int32_t>(d->received.size());
}

#define VORN_CHECK_SHAPE(name, type) static_assert(sizeof(static_cast<type>(&name)) > 0);
VORN_USB_SIM_CONTROLS(VORN_CHECK_SHAPE)
#ifndef VORN_USB_SIM_INCOMPLETE
VORN_USB_ENTRY_POINTS(VORN_CHECK_SHAPE)
#endif
