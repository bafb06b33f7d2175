// The printer models and the other settings of Tillvane.ini, read once at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "config/network_config.h"
#include "config/version.h"
#include "config/virtual_config.h"

namespace tillvane {

inline constexpr const char* kConfigFileName = "Tillvane.ini";
inline constexpr const char* kDefaultApplicationName = "Tillvane";
inline constexpr const char* kCaptionSuffix = " V" TILLVANE_VERSION;
inline constexpr const char* kDefaultBaseDriverName = "Vorn-102";
inline constexpr int32_t kModelTableSize = 20;
// Selected when the file lists no model, so that a model with a name and a width is in
// force at all times.
inline constexpr const char* kBuiltInModelName = "POS";
inline constexpr int32_t kBuiltInModelWidth = 80;

struct PrinterModel {
  std::string Name;  // bytes as in the file (GBK)
  int32_t Width = 0;
};

// Device paths behind the port names of the port page.
struct PortMap {
  std::array<std::string, 8> com;  // COM1..COM8
  std::array<std::string, 4> lpt;  // LPT1..LPT4
};

struct ModelConfig {
  std::string ApplicationName = kDefaultApplicationName;
  std::string Caption = std::string(kDefaultApplicationName) + kCaptionSuffix;
  std::string BaseDriverName = kDefaultBaseDriverName;
  int32_t Number = 1;         // as read
  int32_t DefaultNumber = 1;  // as read
  std::array<PrinterModel, kModelTableSize> ModelTable{};
  int32_t ModelCount = 0;     // listed entries of ModelTable, at least 1 after LoadModels
  bool BuiltInModel = false;  // the file listed none: ModelTable[0] is the built-in one
  int32_t SelectedIndex = 0;  // 0-based position in ModelTable
  PortMap Ports;
  NetworkConfig Network;
  VirtualConfig Virtual;
};

// The file beside the executable: `program_folder` joined with "Tillvane.ini".
std::string ConfigFilePath(const std::string& program_folder);

// Reads the file at `ini_path` (missing file: every default), fills the model table,
// selects the model of DefaultNumber and makes it the current model (SetCurrentModel).
// Sections Pos1..PosN are read for N = min(Number, 20). When no model is listed the
// built-in "POS" model of width 80 is listed and selected; a DefaultNumber outside
// 1..ModelCount selects the first listed model. Also installs the port map (SetPortMap).
ModelConfig LoadModels(const std::string& ini_path);
ModelConfig LoadModels(const IniFile& ini);

// The model change of the port page: selects position `index` (0-based) of the table
// and makes it the current model. False, with nothing changed, when `index` is not a
// listed position.
bool SelectModel(ModelConfig& config, int32_t index);

// Section Ports: COMn and LPTn keys; without a key COMn is /dev/ttyS<n-1> and LPTn
// /dev/parport<n-1>.
PortMap LoadPorts(const IniFile& ini);

// The device of a port name ("COM1".."COM8", "LPT1".."LPT4", any case); empty for any
// other name.
std::string PortDevicePath(const PortMap& ports, std::string_view port_name);

// The program-wide port map, installed by LoadModels and read by the link opening.
void SetPortMap(PortMap ports);
std::string PortDevicePath(std::string_view port_name);

}  // namespace tillvane
