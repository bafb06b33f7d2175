// Fuzz target: the GS ( L graphics functions on any parameter bytes, against an NV
// graphics memory kept in memory across inputs (so that definitions, prints and deletions
// meet). The bytes are copied to a buffer of their exact size so that a read past it is
// caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/graphics.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tillvane::render;
  static NvGraphicsStore store({}, 64 * 1024);
  auto exact = std::make_unique<uint8_t[]>(size == 0 ? 1 : size);
  for (size_t i = 0; i < size; ++i) exact[i] = data[i];
  const std::span<const uint8_t> params{exact.get(), size};

  const GraphicsOutcome out = RunGraphics(params, store);
  Check(out.ok == out.error.empty(), "a refusal says why, a success does not");
  if (!out.ok) Check(!out.print && out.answer.empty(), "a refusal prints and answers nothing");
  if (out.print) {
    Check(out.print->width() >= 1 && out.print->height() >= 1, "a picture has dots");
    Check(out.print->width() <= 2 * kNvGraphicsMaxWidth &&
              out.print->height() <= 2 * kNvGraphicsMaxHeight,
          "a picture within the limits");
  }
  if (!out.answer.empty())
    Check(out.answer.front() == 0x37 && out.answer.back() == 0, "answer frame");
  Check(store.used() <= store.capacity(), "the memory holds no more than its capacity");

  const GraphicsPicture pic = PrintBufferGraphics(params);
  Check(pic.ok == pic.error.empty(), "print-buffer refusal says why");
  if (pic.ok) {
    const bool column = params[1] == 113;
    const int w = params[6] | (params[7] << 8), h = params[8] | (params[9] << 8);
    Check(pic.dots.width() == w * params[3] && pic.dots.height() == h * params[4],
          "picture scaled by bx and by");
    Check(w <= (column ? kColumnGraphicsMaxWidth : kRasterGraphicsMaxWidth), "width limit");
  }
  return 0;
}
