#include "link/usb_link.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <utility>

#include "abi/vorn_usb.h"
#include "base/message_sink.h"
#include "link/backends.h"
#include "link/link_state.h"

namespace tillvane {
namespace {

constexpr const char* kUsbLibraryName = "libVornUsbInt.so";
constexpr int kUsbDeviceCount = 8;
constexpr const char* kUsbLabelPrefix = "VORNUSB-";

// One loaded copy of the library with its entry points. It is shared by the window's
// kept handle and by the open device, so the library is unloaded only when neither
// can call into it any more.
class UsbLibrary {
 public:
  explicit UsbLibrary(void* module) : module_(module) {}
  ~UsbLibrary() { ::dlclose(module_); }
  UsbLibrary(const UsbLibrary&) = delete;
  UsbLibrary& operator=(const UsbLibrary&) = delete;

  // Resolves the entry points in their fixed order; false at the first one missing.
  bool Resolve() {
#define TILLVANE_RESOLVE(name, type)                      \
  name = reinterpret_cast<type>(::dlsym(module_, #name)); \
  if (name == nullptr) return false;
    VORN_USB_ENTRY_POINTS(TILLVANE_RESOLVE)
#undef TILLVANE_RESOLVE
    return true;
  }

#define TILLVANE_ENTRY(name, type) type name = nullptr;
  VORN_USB_ENTRY_POINTS(TILLVANE_ENTRY)
#undef TILLVANE_ENTRY

  // The library's own words on its last failure, when it offers them (ours does).
  std::string LastError() const {
    auto last = reinterpret_cast<VornUsbLastErrorFn>(::dlsym(module_, "VornUsbLastError"));
    const char* text = last != nullptr ? last() : nullptr;
    return text != nullptr ? text : "";
  }

 private:
  void* module_;
};

// The USB row of SendData: one open device of the library.
class UsbDevice final : public UsbBackend {
 public:
  UsbDevice(std::shared_ptr<const UsbLibrary> library, VornUsbHandle handle)
      : library_(std::move(library)), handle_(handle) {}
  // The device is released through the library that opened it.
  ~UsbDevice() override { library_->CloseDevice(handle_); }

  int32_t Write(const uint8_t* bytes, int32_t length) override {
    const int32_t taken = library_->uWrite(handle_, 0, bytes, length);
    if (taken != length) {
      last_taken_ = taken;
      last_length_ = length;
    }
    return taken;
  }

  std::string FailureReason() const override {
    if (last_length_ < 0) return {};
    std::string text = std::string(kUsbLibraryName) + ": uWrite took " +
                       std::to_string(last_taken_) + " of " + std::to_string(last_length_) +
                       " bytes";
    // The library's words are per thread; they are those of this failure when the
    // reason is asked on the thread that sent.
    const std::string words = library_->LastError();
    if (!words.empty()) text += " (" + words + ")";
    return text;
  }

 private:
  std::shared_ptr<const UsbLibrary> library_;
  VornUsbHandle handle_;
  int32_t last_taken_ = 0;
  int32_t last_length_ = -1;  // -1: no write has failed
};

// The main window's kept library handle. Loading, listing and opening run on the
// window's thread; the lock only keeps a stray caller from seeing half a change.
std::mutex g_mutex;
std::shared_ptr<const UsbLibrary> g_library;

std::shared_ptr<const UsbLibrary> CurrentLibrary() {
  std::lock_guard lock(g_mutex);
  return g_library;
}

}  // namespace

bool LoadUsbLibrary() {
  void* module = ::dlopen(kUsbLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return false;
  auto library = std::make_shared<UsbLibrary>(module);
  // A library without all twelve entry points is no use: it is let go at once (the
  // one kept from before, if any, stays in force).
  if (!library->Resolve()) return false;
  std::shared_ptr<const UsbLibrary> previous;
  {
    std::lock_guard lock(g_mutex);
    previous = std::exchange(g_library, std::move(library));
  }
  return true;
}

int ListUsbDevices(std::vector<std::string>& labels) {
  labels.clear();
  auto library = CurrentLibrary();
  if (!library) return 0;
  for (int n = 0; n < kUsbDeviceCount; ++n) {
    VornUsbHandle h = library->OpenDeviceX(n);
    if (h == VORN_USB_NO_DEVICE) break;
    labels.push_back(kUsbLabelPrefix + std::to_string(n));
    // A device that exists but would not open is listed, so that choosing it tells
    // the operator; there is nothing to release for it.
    if (h != VORN_USB_OPEN_FAILED) library->CloseDevice(h);
  }
  return static_cast<int>(labels.size());
}

bool OpenUsbDevice(int n, std::string* reason) {
  // The device open before is released first, also when it is this same one: a
  // printer-class device takes one opener at a time.
  SetUsbHandle(nullptr);
  auto library = CurrentLibrary();
  VornUsbHandle h = VORN_USB_NO_DEVICE;
  std::string why;
  // No library, or no device chosen (an empty list gives -1): nothing to ask for.
  if (!library) {
    why = std::string(kUsbLibraryName) + " is not loaded";
  } else if (n < 0 || n >= kUsbDeviceCount) {
    why = "no USB device chosen";
  } else {
    h = library->OpenDeviceX(n);
    if (h == VORN_USB_NO_DEVICE || h == VORN_USB_OPEN_FAILED) {
      why = std::string(kUsbLibraryName) + ": OpenDeviceX returned " +
            (h == VORN_USB_NO_DEVICE ? "0 (no device)" : "-1") + " for device " + std::to_string(n);
      const std::string words = library->LastError();
      if (!words.empty()) why += " (" + words + ")";
    }
  }
  if (h == VORN_USB_NO_DEVICE || h == VORN_USB_OPEN_FAILED) {
    if (reason != nullptr) *reason = why;
    ShowMessage(kUsbOpenFailed);
    return false;
  }
  SetUsbHandle(std::make_unique<UsbDevice>(std::move(library), h));
  return true;
}

void UnloadUsbLibrary() {
  // The open device goes first, released through the library while it is still
  // loaded; afterwards SendData finds no USB handle and fails instead of calling into
  // an unloaded library.
  SetUsbHandle(nullptr);
  std::shared_ptr<const UsbLibrary> released;
  {
    std::lock_guard lock(g_mutex);
    released = std::move(g_library);
  }
}

}  // namespace tillvane
