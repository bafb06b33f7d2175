// Section Virtual of Tillvane.ini: the virtual printer's profile, and where the preview
// window takes print jobs from other programs, and whether it does.
//   [Virtual]
//   Profile=cn               text at power-on: cn (double-byte GBK) or intl (PC437); kept
//                            as typed, the virtual printer's side tells a name it does
//                            not know
//   Accept=1                 1: the preview takes jobs whenever it is open
//   Listen=127.0.0.1:9100    the address it listens on (port 0: any free port)
//   Serial=~/.local/share/tillvane/ttyV0   the serial link made for it; empty: none
#pragma once

#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "config/ini_write.h"

namespace tillvane {

inline constexpr const char* kDefaultVirtualListen = "127.0.0.1:9100";
inline constexpr const char* kVirtualSection = "Virtual";
inline constexpr const char* kProfileKey = "Profile";

struct VirtualConfig {
  bool Accept = false;
  std::string Listen = kDefaultVirtualListen;
  std::string Serial;   // empty: no serial link
  std::string Profile;  // empty when absent
};

// Reads the section. An absent or empty Listen is the default; Accept is on only for 1.
VirtualConfig LoadVirtualConfig(const IniFile& ini);

// What is wrong with the values, empty when nothing is: Listen must end in ":PORT"
// with PORT from 0 to 65535; neither value may hold a line break or other control
// character (the file is one key a line).
std::string VirtualConfigProblem(const VirtualConfig& config);

// Writes Accept, Listen and Serial into the user's file `path` (its folder made when needed). When
// that file does not exist yet, it starts as a copy of `seed` (the file read so far, so
// that the models it holds stay), or empty. The file is replaced as a whole by a rename.
// False and `error` naming the file when the values are wrong or it cannot be written.
bool SaveVirtualConfig(const std::string& path, const std::string& seed,
                       const VirtualConfig& config, std::string* error);

// The user's own Tillvane.ini (the first place ConfigCandidates tries), empty when the
// environment names no user folder.
std::string UserConfigPath();

}  // namespace tillvane
