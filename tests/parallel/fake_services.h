// A service control manager and a registry and file system in memory, for the
// driver-service steps. The service manager enforces the access asked for, as the
// real one does, and keeps count of what was done to the one service it knows.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/port_io/driver_files.h"
#include "link/port_io/service_manager.h"

namespace tillvane::testing {

inline constexpr int32_t kErrorServiceDoesNotExist = 1060;
inline constexpr int32_t kErrorServiceExists = 1073;
inline constexpr int32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr int32_t kErrorServiceNotActive = 1062;

class FakeServiceManager final : public ServiceManager {
 public:
  // Set up by the test.
  bool admin = true;  // without it: no create-service access to the manager, and a
                      // service opens for querying only
  int32_t connect_error = 0;
  bool exists = false;
  ServiceState state = ServiceState::Stopped;
  int32_t start_error = 0;
  int32_t stop_error = 0;
  int32_t delete_error = 0;

  // Seen by the test.
  bool connected = false;
  uint32_t manager_access = 0;
  std::vector<uint32_t> connect_attempts;
  int created = 0, started = 0, stopped = 0, deleted = 0;
  ServiceConfig config;
  std::map<ServiceHandle, uint32_t> open;

  bool Connect(uint32_t access) override {
    connect_attempts.push_back(access);
    if (connect_error != 0) return Error(connect_error);
    if ((access & kScManagerCreateService) && !admin) return Error(kErrorAccessDenied);
    connected = true;
    manager_access = access;
    return true;
  }
  void Disconnect() override { connected = false; }
  ServiceHandle OpenService(const std::string& name, uint32_t access) override {
    if (!connected) return NoHandle(6);
    if (!exists || name != "DLPortIO") return NoHandle(kErrorServiceDoesNotExist);
    if (!admin && (access & ~kServiceQueryStatus)) return NoHandle(kErrorAccessDenied);
    return NewHandle(access);
  }
  ServiceHandle CreateService(const ServiceConfig& c) override {
    if (!connected) return NoHandle(6);
    if (!(manager_access & kScManagerCreateService)) return NoHandle(kErrorAccessDenied);
    if (exists) return NoHandle(kErrorServiceExists);
    exists = true;
    state = ServiceState::Stopped;
    config = c;
    ++created;
    return NewHandle(c.access);
  }
  void CloseService(ServiceHandle service) override { open.erase(service); }
  bool QueryStatus(ServiceHandle service, ServiceState* s) override {
    if (!Allowed(service, kServiceQueryStatus)) return false;
    *s = state;
    return true;
  }
  bool StartService(ServiceHandle service) override {
    if (!Allowed(service, kServiceStart)) return false;
    if (start_error != 0) return Error(start_error);
    if (state != ServiceState::Stopped) return Error(kErrorServiceAlreadyRunning);
    state = ServiceState::Running;
    ++started;
    return true;
  }
  bool StopService(ServiceHandle service) override {
    if (!Allowed(service, kServiceStop)) return false;
    if (stop_error != 0) return Error(stop_error);
    if (state != ServiceState::Running) return Error(kErrorServiceNotActive);
    state = ServiceState::Stopped;
    ++stopped;
    return true;
  }
  bool DeleteService(ServiceHandle service) override {
    if (!Allowed(service, kServiceDelete)) return false;
    if (delete_error != 0) return Error(delete_error);
    exists = false;
    ++deleted;
    return true;
  }
  int32_t LastError() override { return last_error_; }

 private:
  bool Error(int32_t code) {
    last_error_ = code;
    return false;
  }
  ServiceHandle NoHandle(int32_t code) {
    last_error_ = code;
    return 0;
  }
  ServiceHandle NewHandle(uint32_t access) {
    ServiceHandle h = ++next_;
    open[h] = access;
    return h;
  }
  bool Allowed(ServiceHandle service, uint32_t needed) {
    auto it = open.find(service);
    if (it == open.end()) return Error(6);
    if ((it->second & needed) != needed) return Error(kErrorAccessDenied);
    return true;
  }

  ServiceHandle next_ = 0;
  int32_t last_error_ = 0;
};

class FakeRegistry final : public Registry {
 public:
  std::map<std::string, std::map<std::string, std::string>> keys;
  bool key_open = false;
  int opens = 0, closes = 0;

  bool OpenKey(const std::string& key) override {
    auto it = keys.find(key);
    if (it == keys.end()) return false;
    current_ = &it->second;
    key_open = true;
    ++opens;
    return true;
  }
  bool ReadString(const std::string& name, std::string* value) override {
    if (!key_open) return false;
    auto it = current_->find(name);
    if (it == current_->end()) return false;
    *value = it->second;
    return true;
  }
  void CloseKey() override {
    key_open = false;
    ++closes;
  }

 private:
  std::map<std::string, std::string>* current_ = nullptr;
};

class FakeFiles final : public Files {
 public:
  std::set<std::string> files;    // paths that exist
  std::set<std::string> folders;  // folders that exist
  std::vector<std::string> folder_calls;
  std::vector<std::pair<std::string, std::string>> copies;
  std::set<std::string> failing_copies;  // targets that cannot be written

  bool Exists(const std::string& path) override { return files.count(path) > 0; }
  bool CreateFolder(const std::string& path) override {
    folder_calls.push_back(path);
    return folders.insert(path).second;
  }
  bool Copy(const std::string& from, const std::string& to) override {
    if (!files.count(from) || failing_copies.count(to)) return false;
    copies.emplace_back(from, to);
    files.insert(to);
    return true;
  }
};

}  // namespace tillvane::testing
