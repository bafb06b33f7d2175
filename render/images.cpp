// Pictures: bit images (ESC *), raster images (GS v 0), RAM logos (GS * / GS /) and
// flash logos (FS q / FS p), and graphics data that is taken but not drawn.
#include <string>
#include <utility>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

// Largest raster image (GS v 0) the printer takes: 255 bytes across, 2303 rows.
constexpr int kMaxRasterBytes = 255;
constexpr int kMaxRasterRows = 2303;
// Largest graphics data (GS 8 L) the printer takes; it is not drawn, only passed over.
constexpr uint64_t kMaxGraphicsBytes = 1 << 20;

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

std::string FlashImageName(const Machine& m) {
  return "FS q image " + std::to_string(m.flash_incoming.size() + 1) + " (" +
         std::to_string(m.flash_x) + " x " + std::to_string(m.flash_y) + ")";
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

void EscBitImage(Machine& m, const Command& c) {
  m.image_m = c[2];
  m.image_columns = U16(c.data() + 3);
  if (m.image_m != 0 && m.image_m != 1 && m.image_m != 32 && m.image_m != 33) {
    m.Refuse(c.offset, "ESC * with mode " + std::to_string(m.image_m) + "; ignored");
    m.Unknown(c.offset, c.size());
    return;
  }
  m.payload_offset = c.offset;
  m.Expect(Payload::kBitImage,
           uint64_t{static_cast<unsigned>(m.image_columns)} * (m.image_m >= 32 ? 3 : 1), true);
}

void BitImageDone(Machine& m, std::vector<uint8_t>& d) {
  const int bytes = m.image_m >= 32 ? 3 : 1;
  const int xm = (m.image_m & 1) ? 1 : 2;
  const int ym = m.image_m >= 32 ? 1 : 3;
  const int h = bytes * 8;
  auto dot = [&](int x, int y) {
    return (d[static_cast<size_t>(x) * bytes + (y >> 3)] >> (7 - (y & 7))) & 1;
  };
  const int w = m.image_columns * xm;
  if (m.page_mode) {
    const int top = m.PageTop(h * ym);
    m.Stamp(m.image_columns, h, xm, ym, m.u, top, dot);
    m.u += w;
  } else {
    // Part of the line, like characters.
    const int top = kLineRows - h * ym;
    m.Stamp(m.image_columns, h, xm, ym, m.line_x, top, dot);
    m.line_x = std::min(m.line_x + w, m.LineRight());
    m.line_height = std::max(m.line_height, h * ym);
    m.line_content = true;
  }
}

// --- raster images ---------------------------------------------------------------------

void GsRasterImage(Machine& m, const Command& c) {
  const uint8_t mode = c[3];
  m.raster_bytes = U16(c.data() + 4);
  m.raster_rows = U16(c.data() + 6);
  m.raster_xm = (mode & 1) + 1;
  m.raster_ym = ((mode >> 1) & 1) + 1;
  m.raster_row = 0;
  m.payload_offset = c.offset;
  if (m.raster_bytes == 0 || m.raster_rows == 0) return;
  if (m.raster_bytes > kMaxRasterBytes || m.raster_rows > kMaxRasterRows) {
    // Larger than the printer takes: the header is refused and what follows it is
    // read as commands again, rather than swallowing up to 4 GB of input.
    m.Refuse(c.offset, "GS v 0 of " + std::to_string(m.raster_bytes) + " x " +
                           std::to_string(m.raster_rows) +
                           " bytes larger than the image memory; refused");
    return;
  }
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
  m.Expect(Payload::kRasterRow, static_cast<uint64_t>(m.raster_bytes), true);
}

TILLVANE_DOT_LOOP void RasterRowDone(Machine& m, std::vector<uint8_t>& row) {
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
  if (++m.raster_row < m.raster_rows) {
    m.Expect(Payload::kRasterRow, static_cast<uint64_t>(m.raster_bytes), true);
  } else if (!m.page_mode) {
    m.ClearLine();
  }
}

// --- RAM logos -------------------------------------------------------------------------

void GsSelectRamLogo(Machine& m, const Command& c) {
  m.ram_logo = c[2];
}

void GsDefineRamLogo(Machine& m, const Command& c) {
  m.ram_x = c[2];
  m.ram_y = c[3];
  const uint64_t size = uint64_t{c[2]} * c[3] * 8;
  m.payload_offset = c.offset;
  if (m.ram_x == 0 || m.ram_y == 0 || m.ram_x > kRamLogoMaxX || m.ram_y > kRamLogoMaxY ||
      m.ram_x * m.ram_y > kRamLogoMaxXY) {
    m.Refuse(c.offset, "GS * " + std::to_string(m.ram_x) + " x " + std::to_string(m.ram_y) +
                           " larger than the RAM logo memory; refused");
    m.Expect(Payload::kSkip, size, false);
  } else {
    m.Expect(Payload::kRamLogo, size, true);
  }
}

void RamLogoDone(Machine& m, std::vector<uint8_t>& data) {
  ColumnImage logo;
  logo.columns = m.ram_x * 8;
  logo.bands = m.ram_y;
  logo.data = std::move(data);
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

void FsDefineFlashLogos(Machine& m, const Command& c) {
  m.flash_expected = c[2];
  m.flash_incoming.clear();
  m.flash_used = 0;
  m.payload_offset = c.offset;
  if (m.flash_expected == 0) {
    m.Refuse(c.offset, "FS q defining no image; ignored");
    return;
  }
  m.Expect(Payload::kFlashHeader, 4, true);
}

void FlashHeaderDone(Machine& m, std::vector<uint8_t>& data) {
  const uint8_t* h = data.data();
  m.flash_x = U16(h);
  m.flash_y = U16(h + 2);
  const uint64_t size = uint64_t{static_cast<unsigned>(m.flash_x)} * m.flash_y * 8;
  if (m.flash_x < 1 || m.flash_x > kFlashMaxX || m.flash_y < 1 || m.flash_y > kFlashMaxY) {
    // No printer takes such an image: the whole definition is refused, the flash keeps
    // what it held, and what follows is read as commands again.
    m.Refuse(m.payload_offset, FlashImageName(m) + " out of range; the definition is refused");
    m.flash_incoming.clear();
    return;
  }
  m.flash_accept = m.flash_used + size <= kFlashCapacity;
  if (!m.flash_accept)
    m.Refuse(m.payload_offset, FlashImageName(m) + " larger than the flash memory; refused");
  m.Expect(Payload::kFlashData, size, m.flash_accept);
}

void FlashDataDone(Machine& m, std::vector<uint8_t>& data) {
  ColumnImage logo;
  if (m.flash_accept) {
    logo.columns = m.flash_x * 8;
    logo.bands = m.flash_y;
    logo.data = std::move(data);
    m.flash_used += logo.data.size();
  }
  m.flash_incoming.push_back(std::move(logo));
  if (static_cast<int>(m.flash_incoming.size()) < m.flash_expected) {
    m.Expect(Payload::kFlashHeader, 4, true);
    return;
  }
  m.flash_logos = std::move(m.flash_incoming);
  m.flash_incoming.clear();
  if (!m.options.flash_store.empty()) {
    std::string error;
    if (!SaveFlashLogos(m.options.flash_store, m.flash_logos, &error))
      m.Refuse(m.payload_offset, "flash logos not stored: " + error);
  }
}

// --- data passed over ------------------------------------------------------------------

void GsSkipData(Machine& m, const Command& c) {
  m.Expect(Payload::kSkip, U16(c.data() + 3), false);
}

void GsGraphicsData(Machine& m, const Command& c) {
  const uint64_t size =
      uint64_t{c[3]} | uint64_t{c[4]} << 8 | uint64_t{c[5]} << 16 | uint64_t{c[6]} << 24;
  if (size > kMaxGraphicsBytes) {
    m.Refuse(c.offset, "GS 8 L of " + std::to_string(size) +
                           " bytes larger than the graphics memory; refused");
    return;
  }
  m.Expect(Payload::kSkip, size, false);
}

}  // namespace tillvane::render
