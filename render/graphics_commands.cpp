// GS ( L and GS 8 L: the graphics functions of graphics.h run on the machine. A picture
// stored in the print buffer (fn 112, 113) is held until fn 50 prints it and replaced
// by the next; the NV pictures (fn 67, 68) live in the machine's NV graphics memory and
// print by their key codes (fn 69). Both print as a raster image (GS v 0) does:
// justified in standard mode, on the print position in page mode.
#include <iterator>
#include <string>
#include <utility>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

// The functions the printer knows but Tillvane does not carry out, and why.
struct Untaken {
  uint8_t fn;
  const char* why;
};
constexpr Untaken kUntaken[] = {
    {49, "the reference dot density is the head's own"},
    {52, "download graphics are not kept"},
    {80, "download graphics are not kept"},
    {81, "download graphics are not kept"},
    {82, "download graphics are not kept"},
    {83, "download graphics are not kept"},
    {84, "download graphics are not kept"},
    {85, "download graphics are not kept"},
};

const char* UntakenWhy(uint8_t fn) {
  for (const Untaken& u : kUntaken)
    if (u.fn == fn) return u.why;
  return nullptr;
}

bool FourByteLength(const Command& c) {
  return c.size() > 1 && c[1] == '8';
}

// The parameters from m on: after GS ( L pL pH, or GS 8 L p1 p2 p3 p4.
std::span<const uint8_t> Params(const Command& c) {
  const size_t at = FourByteLength(c) ? 7 : 5;
  return c.size() > at ? c.bytes.subspan(at) : std::span<const uint8_t>{};
}

// graphics.cpp names every function as of GS ( L; a GS 8 L command is named as sent.
std::string AsSent(const Command& c, std::string what) {
  static const std::string kShort = "GS ( L";
  if (FourByteLength(c) && what.compare(0, kShort.size(), kShort) == 0)
    what.replace(0, kShort.size(), "GS 8 L");
  return what;
}

}  // namespace

void GsGraphics(Machine& m, const Command& c) {
  const std::span<const uint8_t> p = Params(c);
  if (p.size() < 2) {
    m.NotDrawn(c, "no function given");
    return;
  }
  if (p[0] == 48) {
    if (const char* why = UntakenWhy(p[1])) {
      m.NotDrawn(AsSent(c, "GS ( L fn " + std::to_string(p[1])), c.offset, why);
      return;
    }
  }
  GraphicsOutcome out = RunGraphics(p, m.nv_graphics);
  if (!out.ok) {
    m.Refuse(c.offset, AsSent(c, std::move(out.error)));
    return;
  }
  for (uint8_t b : out.answer) m.Reply(b);
  switch (out.fn) {
    case 112:
    case 113:
      m.buffer_graphic = std::move(*out.print);
      break;
    case 50:
      if (m.buffer_graphic.width() == 0) {
        m.Refuse(c.offset, AsSent(c, "GS ( L fn 50: no picture in the print buffer"));
        break;
      }
      m.PlaceGraphic(m.buffer_graphic);
      break;
    case 69:
      m.PlaceGraphic(*out.print);
      break;
    default:
      break;
  }
}

}  // namespace tillvane::render
