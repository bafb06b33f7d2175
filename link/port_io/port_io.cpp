#include "link/port_io/port_io.h"
#include "link/port_io/port_io_internal.h"

#include <dlfcn.h>

#include <cstdio>
#include <utility>

namespace tillvane {

using namespace port_io_internal;

namespace {

PortIoState g_state;

struct DevicePath {
  uint16_t base = 0;
  std::string path;
};
DevicePath g_device_path;

// Points our own library at the device the configuration names for the port.
void TellDevicePath(void* library) {
  if (g_device_path.path.empty()) return;
  using SetPath = int (*)(uint16_t, const char*);
  auto set = reinterpret_cast<SetPath>(dlsym(library, "DlPortIoSetDevicePath"));
  if (set != nullptr) set(g_device_path.base, g_device_path.path.c_str());
}

// Resolves the entry points in order; true only when all twelve are present.
bool Resolve(void* library, PortIoEntryPoints* e) {
  void* found[12] = {};
  for (int i = 0; i < 12; ++i) {
    found[i] = dlsym(library, kPortIoEntryPoints[i]);
    if (found[i] == nullptr) {
      g_state.load_failure =
          std::string(kPortIoLibrary) + ": entry point " + kPortIoEntryPoints[i] + " is missing";
      return false;
    }
  }
  e->read_uchar = reinterpret_cast<DlPortReadPortUcharFn>(found[0]);
  e->read_ushort = reinterpret_cast<DlPortReadPortUshortFn>(found[1]);
  e->read_ulong = reinterpret_cast<DlPortReadPortUlongFn>(found[2]);
  e->write_uchar = reinterpret_cast<DlPortWritePortUcharFn>(found[3]);
  e->write_ushort = reinterpret_cast<DlPortWritePortUshortFn>(found[4]);
  e->write_ulong = reinterpret_cast<DlPortWritePortUlongFn>(found[5]);
  e->read_buffer_uchar = reinterpret_cast<DlPortReadPortBufferUcharFn>(found[6]);
  e->read_buffer_ushort = reinterpret_cast<DlPortReadPortBufferUshortFn>(found[7]);
  e->read_buffer_ulong = reinterpret_cast<DlPortReadPortBufferUlongFn>(found[8]);
  e->write_buffer_uchar = reinterpret_cast<DlPortWritePortBufferUcharFn>(found[9]);
  e->write_buffer_ushort = reinterpret_cast<DlPortWritePortBufferUshortFn>(found[10]);
  e->write_buffer_ulong = reinterpret_cast<DlPortWritePortBufferUlongFn>(found[11]);
  return true;
}

}  // namespace

namespace port_io_internal {

PortIoState& State() {
  return g_state;
}

PortIoEnvironment& Environment() {
  static PortIoEnvironment environment = DefaultPortIoEnvironment();
  return environment;
}

ServiceManager& Services() {
  ServiceManager* s = Environment().services;
  return s != nullptr ? *s : NoServiceManager();
}

void SetError(const char* step, int32_t code) {
  char text[64];
  std::snprintf(text, sizeof text, "%s: Error #%d", step, static_cast<int>(code));
  g_state.last_error = text;
}

bool Fail(const char* step) {
  SetError(step, Services().LastError());
  return false;
}

std::string DriverFile() {
  return g_state.driver_folder + "\\" + kPortIoServiceName + ".SYS";
}

}  // namespace port_io_internal

PortIoEnvironment SetPortIoEnvironment(PortIoEnvironment environment) {
  return std::exchange(Environment(), std::move(environment));
}

const PortIoState& PortIo() {
  return g_state;
}
bool PortIoLoaded() {
  return g_state.loaded;
}
std::string PortIoFailureReason() {
  if (g_state.loaded) return {};
  if (!g_state.last_error.empty()) return g_state.last_error;
  if (!g_state.load_failure.empty()) return g_state.load_failure;
  return std::string(kPortIoLibrary) + " is not loaded";
}
const PortIoEntryPoints& PortIoEntries() {
  return g_state.entry;
}

void ResetPortIo() {
  PortIoEnvironment& env = Environment();
  g_state.is_nt = env.is_nt ? env.is_nt() : false;
  g_state.driver_folder = env.current_folder ? env.current_folder() : std::string();
  g_state.last_error.clear();
  g_state.load_failure.clear();
  // Forgetting a library that a failed unload left loaded would leak it and its
  // driver; it stays known so that the next unload tries again.
  if (g_state.library == nullptr) g_state.loaded = false;
}

void LoadPortIo() {
  if (g_state.loaded) return;
  g_state.load_failure.clear();
  g_state.stop_done = false;
  g_state.remove_done = false;
  if (g_state.is_nt) {
    if (!ConnectSCM()) return;
    if (!DriverInstall()) {
      DisconnectSCM();
      return;
    }
    if (!DriverStart()) {
      DriverRemove();
      DisconnectSCM();
      return;
    }
  }
  g_state.library = dlopen(kPortIoLibrary, RTLD_NOW | RTLD_LOCAL);
  if (g_state.library == nullptr) {
    const char* words = dlerror();
    g_state.load_failure = words != nullptr ? words : kPortIoLibrary;
  } else {
    PortIoEntryPoints entry;
    g_state.loaded = Resolve(g_state.library, &entry);
    if (g_state.loaded) {
      g_state.entry = entry;
      TellDevicePath(g_state.library);
    }
  }
  if (!g_state.loaded) {
    if (g_state.is_nt) {
      DriverStop();
      DriverRemove();
      DisconnectSCM();
    }
    if (g_state.library != nullptr) dlclose(g_state.library);
    g_state.library = nullptr;
    g_state.entry = {};
  }
}

void SetPortIoDevicePath(uint16_t base, std::string path) {
  g_device_path = {base, std::move(path)};
}

void UnloadPortIo() {
  if (!g_state.loaded) return;
  if (g_state.is_nt) {
    // A step that succeeded is not repeated when an unload is tried again.
    if (!g_state.stop_done) {
      if (!DriverStop()) return;
      g_state.stop_done = true;
    }
    if (!g_state.remove_done) {
      if (!DriverRemove()) return;
      g_state.remove_done = true;
    }
    DisconnectSCM();
  }
  if (dlclose(g_state.library) == 0) {
    g_state.library = nullptr;
    g_state.loaded = false;
    g_state.entry = {};
  }
}

}  // namespace tillvane
