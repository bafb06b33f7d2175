// What the port I/O loader and its NT service path share inside the link layer.
#pragma once

#include <cstdint>
#include <string>

#include "link/port_io/port_io.h"
#include "link/port_io/service_manager.h"

namespace tillvane::port_io_internal {

PortIoState& State();
PortIoEnvironment& Environment();
ServiceManager& Services();
// Records "step: Error #code" as the last error.
void SetError(const char* step, int32_t code);
// Records the service manager's last error for `step`; false.
bool Fail(const char* step);
// The driver file in the driver folder.
std::string DriverFile();

}  // namespace tillvane::port_io_internal
