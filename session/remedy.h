// What the operator can do about a failure the system explains: a device node the
// user may not open names the group that may, and how to join it.
#pragma once

#include <string>

namespace tillvane {

// `reason` with the remedy added when it says a device node under /dev could not be
// opened for want of permission ("open /dev/ttyUSB0: Permission denied"); else
// `reason` as it is.
std::string WithRemedy(std::string reason);

// The remedy for `path` alone: the group owning it when that group may read and write
// it, else a plainer word.
std::string PermissionRemedy(const std::string& path);

}  // namespace tillvane
