// The port I/O library and, on NT systems, its kernel driver service: loading,
// unloading, the service steps and the driver-file restore step. One instance for the
// program; everything here runs on the window's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "abi/dlportio_api.h"
#include "link/port_io/driver_files.h"
#include "link/port_io/service_manager.h"

namespace tillvane {

#ifdef _WIN32
inline constexpr const char* kPortIoLibrary = "DLPortIO.dll";
#else
inline constexpr const char* kPortIoLibrary = "libDLPortIO.so";
#endif
inline constexpr const char* kPortIoServiceName = "DLPortIO";
inline constexpr const char* kPortIoDisplayName = "DriverLINX Port I/O Driver";
inline constexpr const char* kPortIoLoadOrderGroup = "SST miniport drivers";
inline constexpr const char* kPortIoServiceKey = "SYSTEM\\CurrentControlSet\\Services\\DLPortIO";

// What the driver steps run against. The default is this platform's: on Linux not
// NT, no service manager, no registry, the real files.
struct PortIoEnvironment {
  std::function<bool()> is_nt;
  std::function<std::string()> current_folder;
  std::function<std::string()> program_folder;
  ServiceManager* services = nullptr;
  Registry* registry = nullptr;
  Files* files = nullptr;
};

PortIoEnvironment DefaultPortIoEnvironment();
// Replaces the environment (tests) and returns the one replaced; takes effect at the
// next reset.
PortIoEnvironment SetPortIoEnvironment(PortIoEnvironment environment);

struct PortIoEntryPoints {
  DlPortReadPortUcharFn read_uchar = nullptr;
  DlPortReadPortUshortFn read_ushort = nullptr;
  DlPortReadPortUlongFn read_ulong = nullptr;
  DlPortWritePortUcharFn write_uchar = nullptr;
  DlPortWritePortUshortFn write_ushort = nullptr;
  DlPortWritePortUlongFn write_ulong = nullptr;
  DlPortReadPortBufferUcharFn read_buffer_uchar = nullptr;
  DlPortReadPortBufferUshortFn read_buffer_ushort = nullptr;
  DlPortReadPortBufferUlongFn read_buffer_ulong = nullptr;
  DlPortWritePortBufferUcharFn write_buffer_uchar = nullptr;
  DlPortWritePortBufferUshortFn write_buffer_ushort = nullptr;
  DlPortWritePortBufferUlongFn write_buffer_ulong = nullptr;
};

struct PortIoState {
  bool is_nt = false;
  std::string driver_folder;
  std::string last_error;
  void* library = nullptr;
  bool connected = false;  // the service manager connection is open
  bool installed_before = false;
  bool running_before = false;
  bool stop_done = false;  // this load's driver has been stopped by an unload already
  bool remove_done = false;
  PortIoEntryPoints entry;
  bool loaded = false;
  // Why the last load left the library unloaded ("libDLPortIO.so: cannot open shared
  // object file: No such file or directory"); empty after a load that worked.
  std::string load_failure;
};

// The program's driver state (read-only outside this unit).
const PortIoState& PortIo();
bool PortIoLoaded();
// Why the library is not loaded: the failed service step's text, else the loader's
// words; for logs and message details.
std::string PortIoFailureReason();
const PortIoEntryPoints& PortIoEntries();

// Reads the NT flag, takes the current folder as the driver folder, clears the last
// error text. A library still loaded after a failed
// unload stays loaded and known, so that the next unload can try again.
void ResetPortIo();
// Connects, installs and starts the driver on NT, then loads the library and resolves
// the twelve entry points; loaded only if all are present.
void LoadPortIo();

// The device that serves the port at `base`, told to our own port I/O library after
// each load (its extra entry point DlPortIoSetDevicePath). An empty path keeps the
// library's own choice. Libraries without that entry point are left as they are.
void SetPortIoDevicePath(uint16_t base, std::string path);
// Stops and removes on NT what this load started and created, then frees the library.
// A failed step leaves the library loaded.
void UnloadPortIo();

// The service steps; each failure sets the last error text "<step>: Error #<code>".
[[nodiscard]] bool ConnectSCM();
void DisconnectSCM();
[[nodiscard]] bool DriverInstall();
[[nodiscard]] bool DriverStart();
bool DriverStop();
bool DriverRemove();

// Restores the driver's two files into the folder of its registered image path when
// the registered file is missing (NT only). 1 when nothing had to be done or both
// files were copied, 0 when a copy failed or the registered path names no folder.
[[nodiscard]] int32_t InstallDriverFiles();
// Creates the folder named by every prefix of `path` that ends before a backslash,
// ignoring failures. Returns 1.
int32_t CreateFolderPath(const std::string& path);

}  // namespace tillvane
