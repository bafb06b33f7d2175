#include "config/program_folder.h"

#include <filesystem>
#include <system_error>

namespace tillvane {

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  const std::filesystem::path folder = exe.parent_path();
  return folder.empty() ? std::string("/") : folder.string();
}

}  // namespace tillvane
