#include "config/config_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "config/models.h"

namespace tillvane {
namespace {

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool Set(const char* value) {
  return value != nullptr && value[0] != '\0';
}

enum class Place { Empty, Readable, Unreadable };

// Whether `path` holds a readable file; `problem` and `error_number` say why not when
// it holds something that cannot be read.
Place Probe(const std::string& path, ConfigProblem& problem, int& error_number) {
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Place::Empty;
    // A folder on the way that cannot be searched, for example.
    problem = ConfigProblem::SystemError;
    error_number = errno;
    return Place::Unreadable;
  }
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) {
    problem = S_ISLNK(link.st_mode) && errno == ENOENT ? ConfigProblem::DanglingLink
                                                       : ConfigProblem::SystemError;
    error_number = errno;
    return Place::Unreadable;
  }
  if (S_ISDIR(target.st_mode)) {
    problem = ConfigProblem::Folder;
    return Place::Unreadable;
  }
  if (!S_ISREG(target.st_mode)) {
    // Never opened: a device or a pipe could block or have side effects.
    problem = ConfigProblem::NotRegular;
    return Place::Unreadable;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = ConfigProblem::SystemError;
    error_number = errno;
    return Place::Unreadable;
  }
  // A read error (an I/O fault) shows here rather than as a silent empty configuration.
  char probe[1];
  const ssize_t got = read(fd, probe, sizeof probe);
  const int read_errno = errno;
  close(fd);
  if (got < 0) {
    problem = ConfigProblem::SystemError;
    error_number = read_errno;
    return Place::Unreadable;
  }
  return Place::Readable;
}

}  // namespace

std::vector<std::string> ConfigCandidates(const char* xdg_config_home, const char* home,
                                          const std::string& program_folder) {
  std::vector<std::string> out;
  // A relative XDG_CONFIG_HOME is not valid and is ignored, as for every program that
  // follows the base-directory rules.
  if (Set(xdg_config_home) && xdg_config_home[0] == '/') {
    out.push_back(Joined(Joined(xdg_config_home, "tillvane"), kConfigFileName));
  } else if (Set(home)) {
    out.push_back(Joined(Joined(home, ".config/tillvane"), kConfigFileName));
  }
  out.push_back(ConfigFilePath(program_folder));
  return out;
}

std::vector<std::string> ConfigCandidates(const std::string& program_folder) {
  return ConfigCandidates(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), program_folder);
}

ConfigChoice ChooseConfigFile(const std::vector<std::string>& candidates) {
  ConfigChoice choice;
  for (const std::string& path : candidates) {
    ConfigProblem problem = ConfigProblem::None;
    int error_number = 0;
    const Place place = Probe(path, problem, error_number);
    if (place == Place::Empty) continue;
    if (place == Place::Readable) {
      choice.path = path;
      return choice;
    }
    if (choice.unreadable_path.empty()) {
      choice.unreadable_path = path;
      choice.unreadable_problem = problem;
      choice.error_number = error_number;
    }
  }
  return choice;
}

}  // namespace tillvane
