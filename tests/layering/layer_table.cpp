#include "tests/layering/layer_table.h"

#include <algorithm>
#include <fstream>
#include <regex>

namespace tillvane::layering {
namespace {

namespace fs = std::filesystem;

const Layer* FindLayer(std::string_view folder) {
  for (const Layer& layer : kLayers)
    if (layer.folder == folder) return &layer;
  return nullptr;
}

bool IsFree(std::string_view folder) {
  return std::find(std::begin(kFreeFolders), std::end(kFreeFolders), folder) !=
         std::end(kFreeFolders);
}

bool IsSource(const fs::path& path) {
  static const std::string_view kExtensions[] = {".h", ".hpp", ".c", ".cc", ".cpp", ".in"};
  const std::string ext = path.extension().string();
  return std::find(std::begin(kExtensions), std::end(kExtensions), ext) != std::end(kExtensions);
}

// Folders of the worktree that hold no sources of ours: build trees, hidden folders.
bool IsSkipped(const fs::path& name) {
  const std::string s = name.string();
  return s.empty() || s[0] == '.' || s.rfind("build", 0) == 0 || s == "out";
}

bool MayUse(const Layer& layer, std::string_view target) {
  std::string_view rest = layer.may_use;
  while (!rest.empty()) {
    const size_t space = rest.find(' ');
    if (rest.substr(0, space) == target) return true;
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space + 1);
  }
  return false;
}

std::string Allowed(const Layer& layer) {
  return layer.may_use.empty() ? std::string("no other layer") : std::string(layer.may_use);
}

void CheckFile(const fs::path& root, const fs::path& file, std::vector<std::string>& out) {
  const fs::path relative = fs::relative(file, root);
  const std::string folder = relative.begin()->string();
  if (IsFree(folder)) return;
  const Layer* layer = FindLayer(folder);

  static const std::regex kInclude(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::ifstream in(file);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::smatch m;
    if (!std::regex_search(line, m, kInclude)) continue;
    const std::string included = m[1];
    const size_t slash = included.find('/');
    if (slash == std::string::npos) continue;  // beside the including file
    const std::string target = included.substr(0, slash);
    if (target == folder) continue;
    const std::string where = relative.generic_string() + ":" + std::to_string(number) +
                              ": includes \"" + included + "\"";
    if (layer == nullptr) {
      out.push_back(where + ": " + folder + "/ is in no row of the layer table");
      continue;
    }
    if (MayUse(*layer, target)) continue;
    out.push_back(where + ": " + folder + "/ may use " + Allowed(*layer));
  }
}

}  // namespace

std::vector<std::string> ForbiddenIncludes(const fs::path& root) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& top : fs::directory_iterator(root)) {
    if (!top.is_directory() || IsSkipped(top.path().filename())) continue;
    for (auto it = fs::recursive_directory_iterator(top.path()); it != fs::end(it); ++it) {
      if (it->is_directory() && IsSkipped(it->path().filename())) {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file() && IsSource(it->path())) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> out;
  for (const fs::path& file : files) CheckFile(root, file, out);
  return out;
}

}  // namespace tillvane::layering
