// The service control manager as the port I/O driver steps use it: a connection to
// the local manager, and services opened by name with the access they ask for. Every
// call that fails leaves its error code in LastError(). The values are the system's.
#pragma once

#include <cstdint>
#include <string>

namespace tillvane {

// Access to the manager.
inline constexpr uint32_t kScManagerConnect = 0x0001;
inline constexpr uint32_t kScManagerCreateService = 0x0002;
inline constexpr uint32_t kScManagerEnumerateService = 0x0004;
inline constexpr uint32_t kScManagerQueryLockStatus = 0x0010;
// Access to a service.
inline constexpr uint32_t kServiceQueryStatus = 0x0004;
inline constexpr uint32_t kServiceStart = 0x0010;
inline constexpr uint32_t kServiceStop = 0x0020;
inline constexpr uint32_t kServiceDelete = 0x00010000;

inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorCallNotImplemented = 120;

enum class ServiceState {
  Stopped = 1,
  StartPending = 2,
  StopPending = 3,
  Running = 4,
  ContinuePending = 5,
  PausePending = 6,
  Paused = 7,
};

// What a new kernel-driver service is registered with; the service type, start type
// and error control are fixed: kernel driver, started on demand, normal error control.
struct ServiceConfig {
  std::string name;
  std::string display_name;
  uint32_t access = 0;
  std::string binary_path;
  std::string load_order_group;
};

// A service opened through the manager; 0 is no service.
using ServiceHandle = uintptr_t;

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Opens the local manager's active database.
  virtual bool Connect(uint32_t access) = 0;
  virtual void Disconnect() = 0;
  virtual ServiceHandle OpenService(const std::string& name, uint32_t access) = 0;
  virtual ServiceHandle CreateService(const ServiceConfig& config) = 0;
  virtual void CloseService(ServiceHandle service) = 0;
  virtual bool QueryStatus(ServiceHandle service, ServiceState* state) = 0;
  virtual bool StartService(ServiceHandle service) = 0;
  virtual bool StopService(ServiceHandle service) = 0;  // the stop control
  virtual bool DeleteService(ServiceHandle service) = 0;
  virtual int32_t LastError() = 0;
};

// A platform without a service manager: every call fails with
// kErrorCallNotImplemented.
ServiceManager& NoServiceManager();

}  // namespace tillvane
