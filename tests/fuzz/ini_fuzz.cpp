// Fuzz target: the configuration reader and the model loading on the input as a file
// text, and the integer conversion on the input as a value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/current_model.h"
#include "config/ini_file.h"
#include "config/models.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)tillvane::ParseIniInteger(text, 0);

  const tillvane::IniFile ini = tillvane::IniFile::Parse(text);
  for (const char* key : {"ApplicationName", "Number", "DefaultNumber", "BaseDriverName"}) {
    if (auto v = ini.Find("Common", key)) Check(v->size() <= tillvane::kIniValueLimit, "value cut");
  }
  tillvane::ModelConfig c = tillvane::LoadModels(ini);
  Check(c.ModelCount >= 1 && c.ModelCount <= tillvane::kModelTableSize, "model count");
  Check(c.SelectedIndex >= 0 && c.SelectedIndex < c.ModelCount, "selected index");
  const tillvane::PrinterModel& m = c.ModelTable[static_cast<size_t>(c.SelectedIndex)];
  Check(tillvane::CurrentModelName() == m.Name && tillvane::PaperWidth() == m.Width,
        "current model");
  for (int32_t i = 0; i < c.ModelCount; ++i) {
    const tillvane::PrinterModel& e = c.ModelTable[static_cast<size_t>(i)];
    Check(c.BuiltInModel || (e.Name != "1" && e.Width != 1), "default sections left out");
    Check(e.Name.size() <= tillvane::kIniValueLimit, "name cut");
  }
  Check(c.Caption == c.ApplicationName + " V2.41", "caption");
  Check(!tillvane::SelectModel(c, c.ModelCount), "selection past the list refused");
  return 0;
}
