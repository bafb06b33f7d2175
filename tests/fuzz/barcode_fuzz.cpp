// Fuzz target: RenderBarcode on any data. Byte 0 picks the system (m 0..6 or 65..73,
// now and then any other value), byte 1 the module width, byte 2 the height; the rest
// is the data, copied to a buffer of its exact size so that a read past it is caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/barcode/barcode.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const int kSystems[] = {0, 1, 2, 3, 4, 5, 6, 65, 66, 67, 68, 69, 70, 71, 72, 73};
  tillvane::render::BarcodeRequest request;
  request.m = data[0] < 240 ? kSystems[data[0] % 16] : data[0] - 240 + 60;
  request.module = data[1] % 8;   // 0 and 7 are refused
  request.height = data[2] % 40;  // kept small: the fuzzer is after the encoders
  if (data[2] >= 250) request.height = 255 + (data[2] - 250);
  const size_t len = size - 3;
  auto exact = std::make_unique<uint8_t[]>(len == 0 ? 1 : len);
  for (size_t i = 0; i < len; ++i) exact[i] = data[3 + i];
  request.data = {exact.get(), len};

  const tillvane::render::BarcodeImage img = tillvane::render::RenderBarcode(request);
  if (!img.ok) {
    Check(!img.error.empty(), "a refusal says why");
    Check(img.dots.empty() && img.width == 0, "a refusal has no picture");
    return 0;
  }
  Check(img.error.empty(), "no reason when it printed");
  Check(img.width > 0 && img.height == request.height, "picture size");
  Check(img.dots.size() == static_cast<size_t>(img.width) * static_cast<size_t>(img.height),
        "dots fill the picture");
  for (uint8_t d : img.dots) Check(d <= 1, "dots are 0 or 1");
  Check(img.dots.front() == 1 && img.dots[static_cast<size_t>(img.width) - 1] == 1,
        "bars at both ends");
  Check(len <= tillvane::render::kMaxBarcodeData, "data length limit");
  return 0;
}
