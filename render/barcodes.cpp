// Bar codes (GS k) with their human-readable text, and their settings.
#include <memory>
#include <string>

#include "render/handlers.h"
#include "render/machine.h"

#if TILLVANE_RENDER_BARCODE
#include "render/barcode/barcode.h"
#endif

namespace tillvane::render {

void Machine::PrintBarcode(std::span<const uint8_t> data) {
#if TILLVANE_RENDER_BARCODE
  BarcodeRequest request;
  request.m = barcode_m;
  request.data = data;
  request.module = barcode_module;
  request.height = barcode_height;
  const BarcodeImage img = RenderBarcode(request);
  if (!img.ok) {
    Refuse(payload_offset, "GS k " + std::to_string(barcode_m) + ": " + img.error);
    return;
  }
  // Bars with the human-readable text above, below or both, in the GS f font.
  const Face face = hri_font == 1 ? Face::kB : Face::kA;
  const CellSize cell = CellOf(face);
  const bool above = (hri_position & 1) != 0 && !img.hriText.empty();
  const bool below = (hri_position & 2) != 0 && !img.hriText.empty();
  const int text_w = static_cast<int>(img.hriText.size()) * cell.width;
  const int w = std::max(img.width, text_w);
  const int gap = 2;
  const int h = img.height + (above ? cell.height + gap : 0) + (below ? cell.height + gap : 0);
  Bitmap pic(w, h);
  const int bars_top = above ? cell.height + gap : 0;
  const int bars_left = (w - img.width) / 2;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.dots[static_cast<size_t>(y) * img.width + x]) pic.Set(bars_left + x, bars_top + y);
  auto text = [&](int top) {
    int x = (w - text_w) / 2;
    for (char ch : img.hriText) {
      const std::shared_ptr<const Glyph> g = GlyphFor(face, static_cast<uint8_t>(ch));
      for (int gy = 0; gy < g->height; ++gy)
        for (int gx = 0; gx < g->width; ++gx)
          if (g->dots[static_cast<size_t>(gy) * g->width + gx]) pic.Set(x + gx, top + gy);
      x += cell.width;
    }
  };
  if (above) text(0);
  if (below) text(bars_top + img.height + gap);
  PlaceImage(w, h, 1, 1, [&pic](int x, int y) { return pic.Get(x, y); });
#else
  // The bar code drawing (render/barcode) is not part of this build: the command is
  // taken whole and reported.
  Refuse(payload_offset, "GS k " + std::to_string(barcode_m) + " with " +
                             std::to_string(data.size()) + " data bytes: bar codes not drawn");
#endif
}

// --- commands --------------------------------------------------------------------------

void GsHriPosition(Machine& m, const Command& c) {
  m.hri_position = c[2] & 3;
}

void GsHriFont(Machine& m, const Command& c) {
  m.hri_font = c[2] & 1;
}

void GsBarcodeHeight(Machine& m, const Command& c) {
  if (c[2] >= 1) m.barcode_height = c[2];
}

void GsBarcodeModule(Machine& m, const Command& c) {
  if (c[2] >= 1 && c[2] <= 6)
    m.barcode_module = c[2];
  else
    m.Refuse(c.offset, "GS w " + std::to_string(c[2]) + " out of range; ignored");
}

// GS k m ... NUL (m 0 to 6) carries its data in the command; GS k m n (m 65 to 73)
// has n data bytes after it.
void GsBarcode(Machine& m, const Command& c) {
  m.barcode_m = c[2];
  m.payload_offset = c.offset;
  if (m.barcode_m <= 6)
    m.PrintBarcode(c.bytes.subspan(3, c.size() - 4));
  else
    m.Expect(Payload::kBarcodeData, c[3], true);
}

void BarcodeDataDone(Machine& m, std::vector<uint8_t>& data) {
  m.PrintBarcode(data);
}

}  // namespace tillvane::render
