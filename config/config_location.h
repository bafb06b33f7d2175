// Where Tillvane.ini is read from: the user's own copy first, then the program
// folder's (which, once installed, leads to the copy for every user under /etc).
#pragma once

#include <string>
#include <vector>

namespace tillvane {

// The places in the order they are tried:
//   $XDG_CONFIG_HOME/tillvane/Tillvane.ini   (only an absolute XDG_CONFIG_HOME counts)
//   $HOME/.config/tillvane/Tillvane.ini      (when XDG_CONFIG_HOME does not count)
//   <program folder>/Tillvane.ini
// Null or empty variables are unset. Without either variable the user's place is left out.
std::vector<std::string> ConfigCandidates(const char* xdg_config_home, const char* home,
                                          const std::string& program_folder);

// The same, from this process's environment.
std::vector<std::string> ConfigCandidates(const std::string& program_folder);

// Why a place that holds something cannot be read.
enum class ConfigProblem {
  None,
  DanglingLink,  // a link to a file that does not exist
  Folder,        // a folder of that name
  NotRegular,    // a device, a pipe or a socket
  SystemError,   // opening or reading failed: error_number says why
};

struct ConfigChoice {
  // The file that is read; empty when none of the places holds one (every default
  // then applies).
  std::string path;
  // The first place in the order that holds something which cannot be read (a file
  // without read permission, a folder, a link leading nowhere): its path and why.
  // A file later in the order is read instead, and the operator is told.
  std::string unreadable_path;
  ConfigProblem unreadable_problem = ConfigProblem::None;
  int error_number = 0;  // errno, for SystemError
};

// The first place that holds anything. One that holds something unreadable is
// reported and passed over.
ConfigChoice ChooseConfigFile(const std::vector<std::string>& candidates);

}  // namespace tillvane
