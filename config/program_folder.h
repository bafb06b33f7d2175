// The program folder: where the running executable lies, symbolic links resolved, so
// that a link to it in bin/ still finds the logos, Tillvane.ini and the run-time
// libraries beside the real file.
#pragma once

#include <string>

namespace tillvane {

// The folder of /proc/self/exe; "." when the system does not say.
std::string ExecutableFolder();

}  // namespace tillvane
