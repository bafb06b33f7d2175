// Pictures: bit images (ESC *), raster images (GS v 0), RAM logos (GS * / GS /) and
// flash logos (FS q / FS p). The tokenizer refuses those too large for the printer's
// memories before they get here (protocol/limits.h).
#include <string>
#include <utility>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

// Upright logo dots straight into the rows of `to`, clipped once per column.
TILLVANE_DOT_LOOP void BlitLogo(const ColumnImage& logo, int xm, int ym, int left, int top,
                                Bitmap& to) {
  const uint8_t* d = logo.data.data();
  for (int x = 0; x < logo.columns; ++x) {
    const uint8_t* column = d + static_cast<size_t>(x) * logo.bands;
    for (int dx = 0; dx < xm; ++dx) {
      const int px = left + x * xm + dx;
      if (px < 0) continue;
      if (px >= to.width()) break;
      const size_t at = static_cast<size_t>(px >> 3);
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (px & 7));
      for (int j = 0; j < logo.bands; ++j) {
        const uint8_t b = column[j];
        if (b == 0) continue;
        for (int k = 0; k < 8; ++k) {
          if (!((b >> (7 - k)) & 1)) continue;
          for (int dy = 0; dy < ym; ++dy) {
            const int py = top + (j * 8 + k) * ym + dy;
            if (static_cast<unsigned>(py) < static_cast<unsigned>(to.height()))
              to.Row(py)[at] |= mask;
          }
        }
      }
    }
  }
}

}  // namespace

// A logo as PlaceImage puts it, read a byte of its column image at a time so that
// blank bytes cost nothing. Upright (standard mode, or page mode in direction 0) the
// dots go straight into the rows of the band or area, clipped once per column.
TILLVANE_DOT_LOOP void Machine::PlaceLogo(const ColumnImage& logo, uint8_t m) {
  const int xm = (m & 1) + 1, ym = ((m >> 1) & 1) + 1;
  const int w = logo.columns * xm, h = logo.height() * ym;
  Bitmap band;
  int left, top;
  if (page_mode) {
    top = PageTop(h);
    left = u;
  } else {
    if (line_content) PrintLine(false);
    left = std::max(Justified(line_x, w), 0);
    top = 0;
    band.Reset(paper(), h);
  }
  if (!page_mode || direction == 0) {
    BlitLogo(logo, xm, ym, left, top, page_mode ? area : band);
  } else {
    for (int x = 0; x < logo.columns; ++x)
      for (int y = 0; y < logo.height(); ++y)
        if (logo.Dot(x, y))
          for (int dy = 0; dy < ym; ++dy)
            for (int dx = 0; dx < xm; ++dx) PlotPage(left + x * xm + dx, top + y * ym + dy);
  }
  if (page_mode) {
    u += w;
  } else {
    AppendRows(band, 0, band.height());
    ClearLine();
  }
}

// --- bit images ------------------------------------------------------------------------

// ESC * m nL nH and its n columns; the tokenizer refuses modes other than 0, 1, 32, 33.
void EscBitImage(Machine& m, const Command& c) {
  const int mode = c[2];
  const int columns = U16(c.data() + 3);
  const uint8_t* d = c.data() + 5;
  const int bytes = mode >= 32 ? 3 : 1;
  const int xm = (mode & 1) ? 1 : 2;
  const int ym = mode >= 32 ? 1 : 3;
  const int h = bytes * 8;
  auto dot = [&](int x, int y) {
    return (d[static_cast<size_t>(x) * bytes + (y >> 3)] >> (7 - (y & 7))) & 1;
  };
  const int w = columns * xm;
  if (m.page_mode) {
    const int top = m.PageTop(h * ym);
    m.Stamp(columns, h, xm, ym, m.u, top, dot);
    m.u += w;
  } else {
    // Part of the line, like characters.
    const int top = kLineRows - h * ym;
    m.Stamp(columns, h, xm, ym, m.line_x, top, dot);
    m.line_x = std::min(m.line_x + w, m.LineRight());
    m.line_height = std::max(m.line_height, h * ym);
    m.line_content = true;
  }
}

// --- raster images ---------------------------------------------------------------------

// GS v 0 m xL xH yL yH, its rows to follow as parts; the tokenizer refuses images
// larger than the image memory.
void GsRasterImage(Machine& m, const Command& c) {
  const uint8_t mode = c[3];
  m.raster_bytes = U16(c.data() + 4);
  m.raster_rows = U16(c.data() + 6);
  m.raster_xm = (mode & 1) + 1;
  m.raster_ym = ((mode >> 1) & 1) + 1;
  m.raster_row = 0;
  if (m.raster_bytes == 0 || m.raster_rows == 0) return;
  const int w = m.raster_bytes * 8 * m.raster_xm;
  const int h = m.raster_rows * m.raster_ym;
  if (m.page_mode) {
    m.raster_top = m.PageTop(h);
    m.raster_left = m.u;
    m.u += w;
  } else {
    if (m.line_content) m.PrintLine(false);
    m.raster_left = std::max(m.Justified(m.line_x, w), 0);
  }
}

TILLVANE_DOT_LOOP void GsRasterRow(Machine& m, const Command& row) {
  const int w = m.raster_bytes * 8;
  const int xm = m.raster_xm, ym = m.raster_ym, left = m.raster_left;
  auto dot = [&row](int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
  if (m.page_mode) {
    const int top = m.raster_top + m.raster_row * ym;
    for (int x = 0; x < w; ++x)
      if (dot(x))
        for (int dy = 0; dy < ym; ++dy)
          for (int dx = 0; dx < xm; ++dx) m.PlotPage(left + x * xm + dx, top + dy);
  } else {
    Bitmap band(m.paper(), ym);
    for (int x = 0; x < w && left + x * xm < m.paper(); ++x)
      if (dot(x))
        for (int dy = 0; dy < ym; ++dy)
          for (int dx = 0; dx < xm; ++dx) band.Set(left + x * xm + dx, dy);
    m.AppendRows(band, 0, ym);
  }
  ++m.raster_row;
  if (row.last && !m.page_mode) m.ClearLine();
}

// --- RAM logos -------------------------------------------------------------------------

void GsSelectRamLogo(Machine& m, const Command& c) {
  m.ram_logo = c[2];
}

// GS * x y and its x * y * 8 bytes; the tokenizer refuses logos larger than the RAM
// logo memory and passes over their data.
void GsDefineRamLogo(Machine& m, const Command& c) {
  ColumnImage logo;
  logo.columns = c[2] * 8;
  logo.bands = c[3];
  logo.data.assign(c.bytes.begin() + 4, c.bytes.end());
  m.ram_logos[m.ram_logo] = std::move(logo);
}

void GsPrintRamLogo(Machine& m, const Command& c) {
  auto it = m.ram_logos.find(m.ram_logo);
  if (it == m.ram_logos.end()) {
    m.Refuse(c.offset, "GS / of RAM logo " + std::to_string(m.ram_logo) + ", never defined");
    return;
  }
  m.PlaceLogo(it->second, c[2]);
}

// --- flash logos -----------------------------------------------------------------------

void FsPrintFlashLogo(Machine& m, const Command& c) {
  const uint8_t n = c[2];
  if (n < 1 || n > m.flash_logos.size() || m.flash_logos[n - 1].columns == 0) {
    m.Refuse(c.offset, "FS p of flash logo " + std::to_string(n) + ", never defined");
    return;
  }
  m.PlaceLogo(m.flash_logos[n - 1], c[3]);
}

// FS q n: its n images follow as parts. The new images replace the flash's only once
// the last has arrived; a definition refused or cut short leaves the flash as it was.
void FsDefineFlashLogos(Machine& m, const Command& c) {
  m.flash_incoming.clear();
  if (c[2] == 0) m.Refuse(c.offset, "FS q defining no image; ignored");
}

// One image of FS q: xL xH yL yH and its column image. One too large for the flash
// memory comes without its data (refused by the tokenizer) and keeps its place empty.
void FsFlashImage(Machine& m, const Command& c) {
  ColumnImage logo;
  if (!c.data_skipped) {
    logo.columns = U16(c.data()) * 8;
    logo.bands = U16(c.data() + 2);
    logo.data.assign(c.bytes.begin() + 4, c.bytes.end());
  }
  m.flash_incoming.push_back(std::move(logo));
  if (!c.last) return;
  m.flash_logos = std::move(m.flash_incoming);
  m.flash_incoming.clear();
  if (!m.options.flash_store.empty()) {
    std::string error;
    if (!SaveFlashLogos(m.options.flash_store, m.flash_logos, &error))
      m.Refuse(c.offset, "flash logos not stored: " + error);
  }
}

}  // namespace tillvane::render
