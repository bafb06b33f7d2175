// Section Network of Tillvane.ini: the network printer's address, shown on the port
// page, and the link's deadlines.
//   [Network]
//   Address=192.168.1.50:9100   host name, IPv4 or [IPv6], optional :port
//   ConnectTimeout=5            seconds for resolving and connecting
//   WriteTimeout=10             seconds for one write
#pragma once

#include <cstdint>
#include <string>

#include "config/ini_file.h"

namespace tillvane {

inline constexpr int32_t kDefaultConnectTimeoutS = 5;
inline constexpr int32_t kDefaultWriteTimeoutS = 10;
// Longer deadlines are cut to this: an hour is more than any printer needs.
inline constexpr int32_t kLongestTimeoutS = 3600;

struct NetworkConfig {
  std::string Address;  // as typed in the file (bytes); empty when absent
  int32_t ConnectTimeout = kDefaultConnectTimeoutS;
  int32_t WriteTimeout = kDefaultWriteTimeoutS;
};

// Section Virtual: the virtual printer.
//   [Virtual]
//   Profile=cn                  text at power-on: cn (double-byte GBK) or intl (PC437)
// Kept as typed; the virtual printer's side tells a name it does not know.
struct VirtualConfig {
  std::string Profile;  // empty when absent
};
VirtualConfig LoadVirtualConfig(const IniFile& ini);
inline constexpr const char* kVirtualSection = "Virtual";
inline constexpr const char* kProfileKey = "Profile";

// Reads the section. A time-out that is absent, not a whole number, or below 1 second
// keeps its default; one above an hour is cut to an hour.
NetworkConfig LoadNetworkConfig(const IniFile& ini);

}  // namespace tillvane
