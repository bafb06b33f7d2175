// The NT service path of the port I/O driver: connecting to the service manager,
// installing, starting, stopping and removing the driver's service, and restoring its
// files. Linux takes the other branch (no service manager, is_nt false): this runs only
// behind the service manager and files a test puts in place.
#include <string>
#include <string_view>

#include "link/port_io/port_io.h"
#include "link/port_io/port_io_internal.h"

namespace tillvane {

using namespace port_io_internal;

bool ConnectSCM() {
  ServiceManager& s = Services();
  uint32_t access = kScManagerConnect | kScManagerCreateService | kScManagerEnumerateService |
                    kScManagerQueryLockStatus;
  bool ok = s.Connect(access);
  if (!ok && s.LastError() == kErrorAccessDenied) ok = s.Connect(access & ~kScManagerCreateService);
  if (!ok) return Fail("ConnectSCM");
  State().connected = true;
  return true;
}

void DisconnectSCM() {
  if (!State().connected) return;
  Services().Disconnect();
  State().connected = false;
}

bool DriverInstall() {
  ServiceManager& s = Services();
  State().installed_before = false;
  ServiceConfig config{kPortIoServiceName, kPortIoDisplayName,
                       kServiceStart | kServiceStop | kServiceQueryStatus | kServiceDelete,
                       DriverFile(), kPortIoLoadOrderGroup};
  if (ServiceHandle existing = s.OpenService(kPortIoServiceName, kServiceQueryStatus)) {
    State().installed_before = true;
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
  State().running_before = false;
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
    State().running_before = true;
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
  if (State().running_before) return true;
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
  if (State().installed_before) return true;
  ServiceManager& s = Services();
  ServiceHandle service = s.OpenService(kPortIoServiceName, kServiceDelete);
  if (service == 0) return Fail("DriverRemove");
  bool deleted = s.DeleteService(service);
  int32_t error = s.LastError();
  s.CloseService(service);
  if (!deleted) SetError("DriverRemove", error);
  return deleted;
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
