// GS ( L and GS 8 L through the printer: a print-buffer picture prints as the same
// picture sent as GS v 0, NV pictures outlive the printer in their file store, every
// picture lands where ESC a, GS L and GS W put it, and what the printer cannot take is
// refused or named as not drawn.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "render/graphics.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Cat;
using testing::Gs8L;
using testing::GsParenL;
using testing::Ink;
using testing::Render;

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FF = 0x0C;

Bytes Lo(int v) {
  return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
}

// 24 x 20, the same neither mirrored nor turned: a picture put out of place or order
// shows.
Bitmap Asymmetric() {
  return testing::Drawn(24, 20, [](int x, int y) {
    return x == 0 || y == 0 || (x * 3 + y * 5) % 7 == 0 || (x > 15 && y > 12);
  });
}

// 16 x 8 for the second NV picture.
Bitmap Small() {
  return testing::Drawn(16, 8, [](int x, int y) { return (x + y) % 3 == 0 || x == 15; });
}

const Bytes kPrintBuffer = GsParenL({48, 50});

Bytes PrintNv(uint8_t kc1, uint8_t kc2, int bx, int by) {
  return GsParenL({48, 69, kc1, kc2, static_cast<uint8_t>(bx), static_cast<uint8_t>(by)});
}

// The picture of fn 112 or 113 sent whole in GS ( L or GS 8 L, then fn 50.
using Wrap = Bytes (*)(const Bytes&);

TEST(GraphicsRenderTest, BufferPicturePrintsAsTheSameRasterImage) {
  const Bitmap pic = Asymmetric();
  struct Setting {
    const char* name;
    Bytes before, after;
  };
  const Setting settings[] = {
      {"standard mode", {}, {}},
      {"centred", {ESC, 'a', 1}, {}},
      {"page mode, direction 1",
       Cat({{ESC, 'L', ESC, 'T', 1, ESC, '$'}, Lo(30), {GS, '$'}, Lo(60)}),
       {FF}},
  };
  const struct {
    const char* name;
    Wrap wrap;
  } wraps[] = {{"GS ( L", GsParenL}, {"GS 8 L", Gs8L}};
  for (const Setting& s : settings)
    for (const auto& w : wraps)
      for (uint8_t fn : {112, 113})
        for (uint8_t m = 0; m < 4; ++m) {
          const int bx = (m & 1) + 1, by = (m >> 1) + 1;
          SCOPED_TRACE(std::string(s.name) + ", " + w.name + " fn " + std::to_string(fn) +
                       ", scale " + std::to_string(bx) + " x " + std::to_string(by));
          const auto raster = Render(Cat({s.before, testing::RasterImage(m, pic), s.after}));
          const auto graphic = Render(Cat(
              {s.before, w.wrap(testing::BufferGraphic(fn, bx, by, pic)), kPrintBuffer, s.after}));
          EXPECT_EQ(graphic.report.refused, 0u) << ::testing::PrintToString(graphic.report.notes);
          EXPECT_EQ(graphic.report.not_drawn, 0u);
          const Bitmap want = raster.Roll();
          ASSERT_EQ(testing::CountDots(want), testing::CountDots(pic) * bx * by);
          EXPECT_TRUE(graphic.Roll() == want);
        }
}

// The print buffer holds one picture: the next replaces it, fn 50 may print it again,
// ESC @ clears it.
TEST(GraphicsRenderTest, PrintBufferHoldsOnePicture) {
  const Bitmap a = Asymmetric(), b = Small();
  const Bytes store_a = GsParenL(testing::BufferGraphic(112, 1, 1, a));
  const Bytes store_b = GsParenL(testing::BufferGraphic(112, 1, 1, b));
  struct Case {
    const char* name;
    Bytes graphics;
    Bytes raster;  // the same paper as GS v 0
    uint64_t refused;
  };
  const Case cases[] = {
      {"replaced by the next", Cat({store_a, store_b, kPrintBuffer}), testing::RasterImage(0, b),
       0},
      {"printed twice", Cat({store_a, kPrintBuffer, kPrintBuffer}),
       Cat({testing::RasterImage(0, a), testing::RasterImage(0, a)}), 0},
      {"cleared by ESC @", Cat({store_a, {ESC, '@'}, kPrintBuffer}), {}, 1},
      {"never stored", kPrintBuffer, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = Render(c.graphics);
    EXPECT_EQ(r.report.refused, c.refused) << ::testing::PrintToString(r.report.notes);
    EXPECT_TRUE(r.Roll() == Render(c.raster).Roll());
  }
}

Bytes Answer(std::initializer_list<uint8_t> head, const std::string& digits) {
  Bytes out(head);
  out.insert(out.end(), digits.begin(), digits.end());
  out.push_back(0);
  return out;
}

// One printer after another on the same store: each starts from what the last left.
TEST(GraphicsRenderTest, NvPicturesOutliveThePrinterInTheirStore) {
  tillvane::testing::ScopedTempDir dir;
  const fs::path store = dir.path() / "nv" / "graphics.bin";
  const Bitmap a = Asymmetric(), b = Small();
  const std::string capacity = std::to_string(kNvGraphicsCapacity);
  const std::string left_after_two =
      std::to_string(kNvGraphicsCapacity - NvGraphicSize(a) - NvGraphicSize(b));
  const std::string left_after_one = std::to_string(kNvGraphicsCapacity - NvGraphicSize(b));
  const Bytes list = GsParenL({48, 64, 'K', 'C'});
  const Bytes capacity_total = GsParenL({48, 48}), capacity_left = GsParenL({48, 51});
  struct Run {
    const char* name;
    Bytes in;
    Bytes replies;
    Bytes raster;  // the paper as GS v 0 prints it
    uint64_t refused;
  };
  const Run runs[] = {
      {"define two",
       Cat({GsParenL(testing::NvGraphic('A', '1', a)), Gs8L(testing::NvGraphic('B', '2', b)), list,
            capacity_left}),
       Cat({{0x37, 0x72, 0x40, 'A', '1', 'B', '2', 0}, Answer({0x37, 0x31}, left_after_two)}),
       {},
       0},
      {"print both by key code, after ESC @",
       Cat({{ESC, '@'}, PrintNv('A', '1', 1, 1), PrintNv('B', '2', 2, 2)}),
       {},
       Cat({testing::RasterImage(0, a), testing::RasterImage(3, b)}),
       0},
      {"delete one",
       Cat({GsParenL({48, 66, 'A', '1'}), list, PrintNv('A', '1', 1, 1)}),
       {0x37, 0x72, 0x40, 'B', '2', 0},
       {},
       1},
      {"the other stays",
       Cat({PrintNv('A', '1', 1, 1), PrintNv('B', '2', 1, 2), capacity_total, capacity_left}),
       Cat({Answer({0x37, 0x30}, capacity), Answer({0x37, 0x31}, left_after_one)}),
       testing::RasterImage(2, b), 1},
      {"delete all", Cat({GsParenL({48, 65, 'C', 'L', 'R'}), list}), {0x37, 0x72, 0x40, 0}, {}, 0},
      {"none left",
       Cat({list, capacity_left, PrintNv('B', '2', 1, 1)}),
       Cat({{0x37, 0x72, 0x40, 0}, Answer({0x37, 0x31}, capacity)}),
       {},
       1},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    testing::Rendered r;
    {
      PrinterOptions options;
      options.nv_graphics_store = store;
      Printer printer(options, [&r](Page&& p) { r.pages.push_back(std::move(p)); });
      printer.Feed(run.in);
      printer.Finish();
      uint8_t buf[64];
      for (size_t n; (n = printer.ReadReplies(buf, sizeof buf)) > 0;)
        r.replies.insert(r.replies.end(), buf, buf + n);
      r.report = printer.report();
    }
    EXPECT_TRUE(fs::exists(store));
    EXPECT_EQ(r.report.refused, run.refused) << ::testing::PrintToString(r.report.notes);
    EXPECT_EQ(tillvane::testing::ToHex(r.replies), tillvane::testing::ToHex(run.replies));
    EXPECT_TRUE(r.Roll() == Render(run.raster).Roll());
  }
}

// The first dot of a picture W dots wide under ESC a, GS L and GS W on either paper,
// whichever command carries it.
TEST(GraphicsRenderTest, EveryPictureLandsWhereTheJustificationPutsIt) {
  const Bitmap pic = testing::Drawn(40, 24, [](int x, int y) {
    return x == 0 || x == 39 || y == x % 24;  // dots in its first and last column
  });
  const int w = pic.width();
  const Bytes nv = GsParenL(testing::NvGraphic('P', 'P', pic));
  const struct {
    const char* name;
    Bytes bytes;
  } pictures[] = {
      {"GS v 0", testing::RasterImage(0, pic)},
      {"ESC * 33", Cat({{ESC, '*', 33}, Lo(w), testing::ColumnBytes(pic), {0x0A}})},
      {"GS ( L fn 112", Cat({GsParenL(testing::BufferGraphic(112, 1, 1, pic)), kPrintBuffer})},
      {"GS 8 L fn 113", Cat({Gs8L(testing::BufferGraphic(113, 1, 1, pic)), kPrintBuffer})},
      {"GS ( L fn 69", PrintNv('P', 'P', 1, 1)},
  };
  struct Margins {
    int left, width;  // GS L, GS W in dots (the default motion unit)
  };
  const Margins margins[] = {{0, 4000}, {40, 300}, {24, 200}, {100, 1000}, {3, 45}};
  for (int paper : {kDots80mm, kDotsNarrow})
    for (const Margins& mg : margins)
      for (uint8_t justify = 0; justify < 3; ++justify) {
        // The print area runs from the margin to the end of the width or of the paper.
        const int left = mg.left;
        const int right = std::min(paper, mg.left + mg.width);
        const int expected = justify == 0   ? left
                             : justify == 1 ? left + (right - left - w) / 2
                                            : right - w;
        for (const auto& p : pictures) {
          SCOPED_TRACE(std::string(p.name) + " on " + std::to_string(paper) + " dots, GS L " +
                       std::to_string(mg.left) + ", GS W " + std::to_string(mg.width) + ", ESC a " +
                       std::to_string(justify));
          const auto r = Render(Cat({nv,
                                     {GS, 'L'},
                                     Lo(mg.left),
                                     {GS, 'W'},
                                     Lo(mg.width),
                                     {ESC, 'a', justify},
                                     p.bytes}),
                                paper);
          ASSERT_EQ(r.pages.size(), 1u);
          const testing::Box box = Ink(r.pages[0].dots);
          EXPECT_EQ(box.left, expected);
          EXPECT_EQ(box.width(), w);
          EXPECT_EQ(testing::CountDots(r.pages[0].dots), testing::CountDots(pic));
        }
      }
}

// Pictures beyond the printer's limits are refused with the reason, and nothing prints:
// fn 50 after them finds no picture, fn 69 no NV picture.
TEST(GraphicsRenderTest, TooLargeOrBadPicturesAreRefusedAndPrintNothing) {
  auto header = [](uint8_t fn, uint8_t tone, int bx, int by, int w, int h) {
    return Cat(
        {{48, fn, tone, static_cast<uint8_t>(bx), static_cast<uint8_t>(by), 49}, Lo(w), Lo(h)});
  };
  const Bitmap nv_too_big(kNvGraphicsMaxWidth, 400);  // 409,600 bytes of 393,216
  const struct {
    const char* name;
    Bytes bytes;
    const char* note;
  } cases[] = {
      {"raster too wide",
       Cat({Gs8L(header(112, 48, 1, 1, kRasterGraphicsMaxWidth + 1, 1)), kPrintBuffer}),
       "GS 8 L fn 112: size 2401"},
      {"raster too high at double height",
       Cat({Gs8L(header(112, 48, 1, 2, 8, kRasterGraphicsMaxHeight / 2 + 1)), kPrintBuffer}),
       "size 8 × 1201"},
      {"columns too high",
       Cat({GsParenL(header(113, 48, 1, 1, 8, kColumnGraphicsMaxHeight + 1)), kPrintBuffer}),
       "GS ( L fn 113: size 8 × 129"},
      {"data cut short",
       Cat({GsParenL(Cat({header(112, 48, 1, 1, 16, 16), Bytes(10, 0xFF)})), kPrintBuffer}),
       "10 of its 32 data bytes"},
      {"several tones", Cat({GsParenL(Cat({header(112, 52, 1, 1, 8, 1), {0xFF}})), kPrintBuffer}),
       "tone 52"},
      {"scale 3", Cat({GsParenL(Cat({header(112, 48, 3, 1, 8, 1), {0xFF}})), kPrintBuffer}),
       "scale 3 × 1"},
      {"more than the graphics memory", Cat({{GS, '8', 'L', 1, 0, 0x10, 0}, kPrintBuffer}),
       "larger than the graphics memory"},
      {"NV memory full",
       Cat({Gs8L(testing::NvGraphic('b', 'g', nv_too_big)), PrintNv('b', 'g', 1, 1)}),
       "the picture needs 409600 bytes, 393216 are free"},
      {"NV key code out of range",
       Cat({GsParenL(testing::NvGraphic(31, 'g', Small())), PrintNv(31, 'g', 1, 1)}),
       "key codes 31, 103 are not 32..126"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = Render(c.bytes);
    EXPECT_EQ(r.report.refused, 2u) << ::testing::PrintToString(r.report.notes);
    ASSERT_FALSE(r.report.notes.empty());
    EXPECT_NE(r.report.notes[0].find(c.note), std::string::npos) << r.report.notes[0];
    EXPECT_TRUE(r.pages.empty());
  }
}

// Functions the printer has that Tillvane does not carry out are named, not refused.
TEST(GraphicsRenderTest, FunctionsNotCarriedOutAreNamedAsNotDrawn) {
  const struct {
    Bytes bytes;
    const char* note;
  } cases[] = {
      {GsParenL({48, 52}), "GS ( L fn 52 at 0: download graphics"},
      {GsParenL({48, 49, 50, 50}), "GS ( L fn 49 at 0: the reference dot density"},
      {Gs8L(Cat({{48, 83, 48, 'd', 'g', 1}, Lo(8), Lo(1), {49, 0xFF}})),
       "GS 8 L fn 83 at 0: download graphics"},
      {{GS, '(', 'L', 1, 0, 48}, "GS ( L at 0: no function given"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.note);
    const auto r = Render(c.bytes);
    EXPECT_EQ(r.report.refused, 0u);
    EXPECT_EQ(r.report.unknown_bytes, 0u);
    ASSERT_EQ(r.report.not_drawn_notes.size(), 1u);
    EXPECT_EQ(r.report.not_drawn_notes[0].find(c.note), 0u) << r.report.not_drawn_notes[0];
    EXPECT_TRUE(r.pages.empty());
  }
}

}  // namespace
}  // namespace tillvane::render
