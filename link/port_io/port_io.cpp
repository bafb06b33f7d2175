#include "link/port_io/port_io.h"

#include <dlfcn.h>

#include <cstdio>
#include <utility>

namespace tillvane {

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

bool ConnectSCM() {
  ServiceManager& s = Services();
  uint32_t access = kScManagerConnect | kScManagerCreateService | kScManagerEnumerateService |
                    kScManagerQueryLockStatus;
  bool ok = s.Connect(access);
  if (!ok && s.LastError() == kErrorAccessDenied) ok = s.Connect(access & ~kScManagerCreateService);
  if (!ok) return Fail("ConnectSCM");
  g_state.connected = true;
  return true;
}

void DisconnectSCM() {
  if (!g_state.connected) return;
  Services().Disconnect();
  g_state.connected = false;
}

bool DriverInstall() {
  ServiceManager& s = Services();
  g_state.installed_before = false;
  ServiceConfig config{kPortIoServiceName, kPortIoDisplayName,
                       kServiceStart | kServiceStop | kServiceQueryStatus | kServiceDelete,
                       DriverFile(), kPortIoLoadOrderGroup};
  if (ServiceHandle existing = s.OpenService(kPortIoServiceName, kServiceQueryStatus)) {
    g_state.installed_before = true;
    s.CloseService(existing);
    return true;
  }
  ServiceHandle created = s.CreateService(config);
  if (created == 0) return Fail("DriverInstall");
  s.CloseService(created);
  return true;
}

bool DriverStart() {
  ServiceManager& s = Services();
  g_state.running_before = false;
  ServiceHandle query = s.OpenService(kPortIoServiceName, kServiceQueryStatus);
  if (query == 0) return Fail("DriverStart");
  ServiceState state{};
  bool queried = s.QueryStatus(query, &state);
  int32_t error = s.LastError();
  s.CloseService(query);
  if (!queried) {
    SetError("DriverStart", error);
    return false;
  }
  if (state == ServiceState::Running) {
    g_state.running_before = true;
    return true;
  }
  if (state != ServiceState::Stopped) {
    SetError("DriverStart", -1);
    return false;
  }
  ServiceHandle start = s.OpenService(kPortIoServiceName, kServiceStart);
  if (start == 0) return Fail("DriverStart");
  bool started = s.StartService(start);
  error = s.LastError();
  s.CloseService(start);
  if (!started) SetError("DriverStart", error);
  return started;
}

bool DriverStop() {
  if (g_state.running_before) return true;
  ServiceManager& s = Services();
  ServiceHandle service = s.OpenService(kPortIoServiceName, kServiceStop | kServiceQueryStatus);
  if (service == 0) return Fail("DriverStop");
  bool stopped = s.StopService(service);
  int32_t error = s.LastError();
  s.CloseService(service);
  if (!stopped) SetError("DriverStop", error);
  return stopped;
}

bool DriverRemove() {
  if (g_state.installed_before) return true;
  ServiceManager& s = Services();
  ServiceHandle service = s.OpenService(kPortIoServiceName, kServiceDelete);
  if (service == 0) return Fail("DriverRemove");
  bool deleted = s.DeleteService(service);
  int32_t error = s.LastError();
  s.CloseService(service);
  if (!deleted) SetError("DriverRemove", error);
  return deleted;
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

int32_t CreateFolderPath(const std::string& path) {
  Files* files = Environment().files;
  if (files == nullptr) files = &SystemFiles();
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '\\') files->CreateFolder(path.substr(0, i));
  }
  return 1;
}

namespace {

// The registered image path, usually the NT form "\??\" + folder + "DLPortIO.SYS".
int32_t RestoreDriverFiles(const std::string& image_path) {
  PortIoEnvironment& env = Environment();
  Files& files = env.files != nullptr ? *env.files : SystemFiles();
  static constexpr std::string_view kNtPrefix = "\\??\\";
  static constexpr size_t kFileNameLength = 12;  // "DLPortIO.SYS"
  bool prefixed = image_path.starts_with(kNtPrefix);
  std::string file = prefixed ? image_path.substr(kNtPrefix.size()) : image_path;
  if (files.Exists(image_path) || (prefixed && files.Exists(file))) return 1;
  // A path that holds no folder before the file name gives nothing to restore into.
  if (file.size() <= kFileNameLength) return 0;
  std::string folder = file.substr(0, file.size() - kFileNameLength);
  std::string program = env.program_folder ? env.program_folder() : std::string();
  CreateFolderPath(folder);
  if (!files.Copy(program + "\\DLPortIO.DLL", folder + "DLPortIO.DLL")) return 0;
  if (!files.Copy(program + "\\DLPortIO.SYS", folder + "DLPortIO.SYS")) return 0;
  return 1;
}

}  // namespace

int32_t InstallDriverFiles() {
  PortIoEnvironment& env = Environment();
  bool is_nt = env.is_nt ? env.is_nt() : false;
  if (!is_nt) return 1;
  Registry& registry = env.registry != nullptr ? *env.registry : NoRegistry();
  if (!registry.OpenKey(kPortIoServiceKey)) return 1;
  std::string image_path;
  int32_t result = 0;
  if (registry.ReadString("ImagePath", &image_path)) result = RestoreDriverFiles(image_path);
  registry.CloseKey();
  return result;
}

}  // namespace tillvane
