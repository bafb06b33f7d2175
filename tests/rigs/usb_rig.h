// Rigs for the USB link: the controls of the simulated USB library, and pseudo-
// terminals standing in for the USB printer device nodes of our real library.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/vorn_usb_api.h"
#include "plugins/vornusb_sim/vorn_usb_sim.h"

namespace tillvane::rigs {

// The USB library the process has loaded already (by the program's own search for
// "libVornUsbInt.so"), held while this object lives. Holding it keeps the library
// loaded: let go before checking that it was unloaded.
class LoadedUsbLibrary {
 public:
  LoadedUsbLibrary();  // no library loaded: loaded() is false
  ~LoadedUsbLibrary();
  LoadedUsbLibrary(const LoadedUsbLibrary&) = delete;
  LoadedUsbLibrary& operator=(const LoadedUsbLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }
  // The exported function of that name, or null.
  void* Symbol(const char* name) const;
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }

  // True when a library of that name is loaded in the process now.
  static bool IsLoaded();

 private:
  void* module_ = nullptr;
};

// The controls of the simulated library. Every control must be present: a missing
// one (the real library loaded instead) aborts the test with a clear message.
class SimUsb {
 public:
  SimUsb();
  void Reset() const { VornUsbSimReset_(); }
  void SetDeviceCount(int32_t n) const { VornUsbSimSetDeviceCount_(n); }
  void ForceOpenResult(int32_t device, VornUsbHandle result) const {
    VornUsbSimForceOpenResult_(device, 1, result);
  }
  void SetWriteLimit(int32_t device, int32_t limit) const {
    VornUsbSimSetWriteLimit_(device, limit);
  }
  void FailWrites(int32_t device, int32_t result) const {
    VornUsbSimSetWriteFailure_(device, 1, result);
  }
  int32_t OpenCalls(int32_t device) const { return VornUsbSimOpenCalls_(device); }
  int32_t CloseCalls(int32_t device) const { return VornUsbSimCloseCalls_(device); }
  int32_t OpenHandles(int32_t device) const { return VornUsbSimOpenHandles_(device); }
  int32_t WriteCalls(int32_t device) const { return VornUsbSimWriteCalls_(device); }
  int32_t StaleHandleCalls() const { return VornUsbSimStaleHandleCalls_(); }
  std::vector<uint8_t> Received(int32_t device) const;

 private:
  LoadedUsbLibrary library_;
#define TILLVANE_SIM_CONTROL(name, type) type name##_ = nullptr;
  VORN_USB_SIM_CONTROLS(TILLVANE_SIM_CONTROL)
#undef TILLVANE_SIM_CONTROL
};

// A pseudo-terminal standing in for one USB printer node: the slave, in raw mode, is
// what the library opens (through a symbolic link lp<n> in a folder); the test reads
// what was printed from the master.
class PtyPrinter {
 public:
  PtyPrinter(const std::filesystem::path& folder, int number);
  ~PtyPrinter();
  PtyPrinter(const PtyPrinter&) = delete;
  PtyPrinter& operator=(const PtyPrinter&) = delete;

  // Reads from the master until `count` bytes came or `timeout` passed.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout) const;
  // Everything the master can read within `quiet` of silence.
  std::vector<uint8_t> Drain(std::chrono::milliseconds quiet) const;
  // The printer answers: the bytes become readable on the library's side.
  void Answer(const std::vector<uint8_t>& bytes) const;
  // Closes the printer side: the library's writes then fail.
  void CloseMaster();
  const std::filesystem::path& node() const { return node_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::filesystem::path node_;
};

}  // namespace tillvane::rigs
