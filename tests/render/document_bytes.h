// The sample documents' bytes as the real builders send them, recorded on a serial
// link, for the virtual printer's tests and benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tillvane::render::testing {

struct SampleDocument {
  const char* name;
  int32_t (*print)(int32_t);
  bool narrow;
};
const std::vector<SampleDocument>& SampleDocuments();

// ESC @, the three RAM logos (Horse, Lion, Map as 1 to 3) and the dragon in flash,
// through the real download builders.
std::vector<uint8_t> LogoDownloadBytes();
// One document with a full cut, printed for the model "Vorn-101" (80 mm) or "Vorn-56N"
// (narrow), every RAM logo counted as loaded.
std::vector<uint8_t> DocumentBytes(const SampleDocument& d);

std::string DataFile(const char* name);

}  // namespace tillvane::render::testing
