// Time to draw one bar code: the sample documents' CODE93 and Code 128, an EAN-13, and the
// largest picture a GS k can ask for (255 data bytes, 6-dot modules, 255 dots high).
#include <benchmark/benchmark.h>

#include <string>

#include "render/barcode/barcode.h"

namespace {

void Draw(benchmark::State& state, int m, std::string data, int module, int height) {
  tillvane::render::BarcodeRequest request;
  request.m = m;
  request.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
  request.module = module;
  request.height = height;
  std::size_t dots = 0;
  for (auto _ : state) {
    tillvane::render::BarcodeImage img = tillvane::render::RenderBarcode(request);
    if (!img.ok) state.SkipWithError(img.error.c_str());
    dots = img.dots.size();
    benchmark::DoNotOptimize(img.dots.data());
  }
  state.counters["dots"] = static_cast<double>(dots);
}

BENCHMARK_CAPTURE(Draw, code93_document, 72, "286823456", 3, 80);
BENCHMARK_CAPTURE(Draw, code128_document, 73, "{A\x23\x2F\x24\x25\x11\x12\x18", 3, 100);
BENCHMARK_CAPTURE(Draw, ean13, 67, "400638133393", 2, 162);
BENCHMARK_CAPTURE(Draw, code128_largest, 73, "{B" + std::string(253, 'x'), 6, 255);

}  // namespace

BENCHMARK_MAIN();
