#include "config/current_model.h"

#include <mutex>

namespace tillvane {
namespace {

struct Model {
  std::mutex mutex;
  std::string name;
  int32_t width = 80;
};

Model& Current() {
  static Model m;
  return m;
}

}  // namespace

std::string CurrentModelName() {
  std::lock_guard lock(Current().mutex);
  return Current().name;
}

int32_t PaperWidth() {
  std::lock_guard lock(Current().mutex);
  return Current().width;
}

void SetCurrentModel(std::string name, int32_t paper_width) {
  std::lock_guard lock(Current().mutex);
  Current().name = std::move(name);
  Current().width = paper_width;
}

}  // namespace tillvane
