#include "session/remedy.h"

#include <grp.h>
#include <sys/stat.h>

namespace tillvane {

std::string PermissionRemedy(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP) &&
      st.st_gid != 0) {
    if (const group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_name != nullptr) {
      const std::string name = g->gr_name;
      return "add the user to group " + name + " (sudo usermod -aG " + name +
             " \"$USER\"), then log out and in again";
    }
  }
  return "ask the administrator for read and write access to " + path;
}

std::string WithRemedy(std::string reason) {
  static constexpr std::string_view kDenied = "Permission denied";
  const size_t denied = reason.find(kDenied);
  if (denied == std::string::npos) return reason;
  const size_t start = reason.rfind("/dev/", denied);
  if (start == std::string::npos) return reason;
  size_t end = start;
  while (end < denied && reason[end] != ':' && reason[end] != ' ' && reason[end] != ',') ++end;
  reason += "; " + PermissionRemedy(reason.substr(start, end - start));
  return reason;
}

}  // namespace tillvane
