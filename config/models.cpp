#include "config/models.h"

#include <mutex>
#include <utility>

#include "base/log.h"
#include "config/current_model.h"

namespace tillvane {
namespace {

struct GlobalPorts {
  std::mutex mutex;
  PortMap ports = LoadPorts(IniFile());
};

GlobalPorts& Global() {
  static GlobalPorts g;
  return g;
}

// "COM3" with prefix "COM" -> 3; 0 when the name is not of that form.
int32_t PortNumber(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + 1) return 0;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return 0;
  }
  char d = name.back();
  return (d >= '1' && d <= '9') ? d - '0' : 0;
}

}  // namespace

std::string ConfigFilePath(const std::string& program_folder) {
  if (program_folder.empty()) return kConfigFileName;
  if (program_folder.back() == '/') return program_folder + kConfigFileName;
  return program_folder + "/" + kConfigFileName;
}

ModelConfig LoadModels(const std::string& ini_path) {
  const IniFile ini = IniFile::Load(ini_path);
  if (!ini.loaded()) {
    LogWarning(LogCategory::Config, ini_path + " could not be read; the built-in settings apply");
  }
  ModelConfig config = LoadModels(ini);
  if (ini.loaded()) {
    LogInfo(LogCategory::Config,
            "read " + ini_path + ": " + std::to_string(config.ModelCount) + " printer model(s)" +
                (config.BuiltInModel ? " (none listed: the built-in model)" : ""));
  }
  return config;
}

ModelConfig LoadModels(const IniFile& ini) {
  ModelConfig c;
  c.Number = ini.ReadInteger("Common", "Number", 1);
  c.DefaultNumber = ini.ReadInteger("Common", "DefaultNumber", 1);
  c.ApplicationName = ini.ReadString("Common", "ApplicationName", kDefaultApplicationName);
  c.BaseDriverName = ini.ReadString("Common", "BaseDriverName", kDefaultBaseDriverName);
  c.Caption = c.ApplicationName + kCaptionSuffix;

  const int32_t sections = c.Number < kModelTableSize ? c.Number : kModelTableSize;
  for (int32_t n = 1; n <= sections; ++n) {
    const std::string section = "Pos" + std::to_string(n);
    std::string name = ini.ReadString(section, "Name", "1");
    int32_t width = ini.ReadInteger(section, "Width", 1);
    if (name == "1" || width == 1) continue;
    c.ModelTable[static_cast<size_t>(c.ModelCount)] = PrinterModel{std::move(name), width};
    ++c.ModelCount;
  }
  if (c.ModelCount == 0) {
    c.ModelTable[0] = PrinterModel{kBuiltInModelName, kBuiltInModelWidth};
    c.ModelCount = 1;
    c.BuiltInModel = true;
  }
  c.Ports = LoadPorts(ini);
  c.Network = LoadNetworkConfig(ini);
  c.Virtual = LoadVirtualConfig(ini);
  SetPortMap(c.Ports);

  int32_t index = 0;
  if (c.DefaultNumber >= 1 && c.DefaultNumber <= c.ModelCount) index = c.DefaultNumber - 1;
  SelectModel(c, index);
  return c;
}

bool SelectModel(ModelConfig& config, int32_t index) {
  if (index < 0 || index >= config.ModelCount || index >= kModelTableSize) return false;
  config.SelectedIndex = index;
  const PrinterModel& m = config.ModelTable[static_cast<size_t>(index)];
  SetCurrentModel(m.Name, m.Width);
  return true;
}

PortMap LoadPorts(const IniFile& ini) {
  PortMap p;
  for (size_t i = 0; i < p.com.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    p.com[i] = ini.ReadString("Ports", "COM" + n, "/dev/ttyS" + std::to_string(i));
  }
  for (size_t i = 0; i < p.lpt.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    p.lpt[i] = ini.ReadString("Ports", "LPT" + n, "/dev/parport" + std::to_string(i));
  }
  return p;
}

std::string PortDevicePath(const PortMap& ports, std::string_view port_name) {
  if (int32_t n = PortNumber(port_name, "COM"); n >= 1 && n <= 8) {
    return ports.com[static_cast<size_t>(n - 1)];
  }
  if (int32_t n = PortNumber(port_name, "LPT"); n >= 1 && n <= 4) {
    return ports.lpt[static_cast<size_t>(n - 1)];
  }
  return std::string();
}

void SetPortMap(PortMap ports) {
  std::lock_guard lock(Global().mutex);
  Global().ports = std::move(ports);
}

std::string PortDevicePath(std::string_view port_name) {
  std::lock_guard lock(Global().mutex);
  return PortDevicePath(Global().ports, port_name);
}

}  // namespace tillvane
