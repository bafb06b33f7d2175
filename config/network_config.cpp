#include "config/network_config.h"

#include <algorithm>

namespace tillvane {
namespace {

int32_t Seconds(const IniFile& ini, const char* key, int32_t default_value) {
  const int32_t v = ini.ReadInteger("Network", key, default_value);
  if (v < 1) return default_value;
  return std::min(v, kLongestTimeoutS);
}

}  // namespace

NetworkConfig LoadNetworkConfig(const IniFile& ini) {
  NetworkConfig c;
  c.Address = ini.ReadString("Network", "Address", "");
  c.ConnectTimeout = Seconds(ini, "ConnectTimeout", kDefaultConnectTimeoutS);
  c.WriteTimeout = Seconds(ini, "WriteTimeout", kDefaultWriteTimeoutS);
  return c;
}

VirtualConfig LoadVirtualConfig(const IniFile& ini) {
  VirtualConfig v;
  v.Profile = ini.ReadString(kVirtualSection, kProfileKey, "");
  return v;
}

}  // namespace tillvane
