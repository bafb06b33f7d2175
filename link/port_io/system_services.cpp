// This platform's side of the driver steps. Linux has no service manager and no
// registry; the port I/O library needs no kernel driver here.
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "config/program_folder.h"
#include "link/port_io/port_io.h"

namespace tillvane {

namespace {

class AbsentServiceManager final : public ServiceManager {
 public:
  bool Connect(uint32_t) override { return false; }
  void Disconnect() override {}
  ServiceHandle OpenService(const std::string&, uint32_t) override { return 0; }
  ServiceHandle CreateService(const ServiceConfig&) override { return 0; }
  void CloseService(ServiceHandle) override {}
  bool QueryStatus(ServiceHandle, ServiceState*) override { return false; }
  bool StartService(ServiceHandle) override { return false; }
  bool StopService(ServiceHandle) override { return false; }
  bool DeleteService(ServiceHandle) override { return false; }
  int32_t LastError() override { return kErrorCallNotImplemented; }
};

class AbsentRegistry final : public Registry {
 public:
  bool OpenKey(const std::string&) override { return false; }
  bool ReadString(const std::string&, std::string*) override { return false; }
  void CloseKey() override {}
};

class RealFiles final : public Files {
 public:
  bool Exists(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
  }
  bool CreateFolder(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::create_directory(path, ec);
  }
  bool Copy(const std::string& from, const std::string& to) override {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      ec);
  }
};

std::string CurrentFolder() {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

}  // namespace

ServiceManager& NoServiceManager() {
  static AbsentServiceManager manager;
  return manager;
}

Registry& NoRegistry() {
  static AbsentRegistry registry;
  return registry;
}

Files& SystemFiles() {
  static RealFiles files;
  return files;
}

PortIoEnvironment DefaultPortIoEnvironment() {
  PortIoEnvironment env;
  env.is_nt = [] { return false; };
  env.current_folder = CurrentFolder;
  env.program_folder = ExecutableFolder;
  env.services = &NoServiceManager();
  env.registry = &NoRegistry();
  env.files = &SystemFiles();
  return env;
}

}  // namespace tillvane
