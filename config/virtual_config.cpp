#include "config/virtual_config.h"

#include <cstdlib>
#include <vector>

#include "config/config_location.h"

namespace tillvane {
namespace {

bool HasControl(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

VirtualConfig LoadVirtualConfig(const IniFile& ini) {
  VirtualConfig c;
  c.Accept = ini.ReadInteger("Virtual", "Accept", 0) == 1;
  c.Listen = ini.ReadString("Virtual", "Listen", "");
  if (c.Listen.empty()) c.Listen = kDefaultVirtualListen;
  c.Serial = ini.ReadString("Virtual", "Serial", "");
  c.Profile = ini.ReadString(kVirtualSection, kProfileKey, "");
  return c;
}

std::string VirtualConfigProblem(const VirtualConfig& config) {
  if (HasControl(config.Listen)) return "Listen holds a control character";
  if (HasControl(config.Serial)) return "Serial holds a control character";
  const size_t colon = config.Listen.rfind(':');
  const std::string port = colon == std::string::npos ? "" : config.Listen.substr(colon + 1);
  if (colon == 0 || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535)
    return "Listen=" + config.Listen + " is not ADDRESS:PORT (a port from 0 to 65535)";
  return {};
}

bool SaveVirtualConfig(const std::string& path, const std::string& seed,
                       const VirtualConfig& config, std::string* error) {
  if (path.empty()) {
    if (error) *error = "no user folder to keep the settings in";
    return false;
  }
  if (const std::string problem = VirtualConfigProblem(config); !problem.empty()) {
    if (error) *error = path + ": " + problem;
    return false;
  }
  return WriteIniValues(
      path, seed, "Virtual",
      {{"Accept", config.Accept ? "1" : "0"}, {"Listen", config.Listen}, {"Serial", config.Serial}},
      error);
}

std::string UserConfigPath() {
  const std::vector<std::string> places =
      ConfigCandidates(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), std::string());
  return places.size() > 1 ? places.front() : std::string();
}

}  // namespace tillvane
