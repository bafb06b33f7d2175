// What the window and `tillvane --help` say about the configuration file in use.
#pragma once

#include <QString>

#include "config/config_location.h"

namespace tillvane {

// The file read, for the title bar: its path, or a note that none was found.
QString ConfigFileLabel(const ConfigChoice& choice);

// The line of `tillvane --help` that names the file read.
QString ConfigHelpLine(const ConfigChoice& choice);

// The operator's message when a place holds a file that cannot be read: which file,
// why, and what is read instead. Empty when there is nothing to say.
QString ConfigProblemMessage(const ConfigChoice& choice);

}  // namespace tillvane
