// Page mode: where positions, directions and the page area put the dots.
#include <gtest/gtest.h>

#include "tests/render/render_support.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Ink;
using testing::Render;
using testing::Text;

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FF = 0x0C, CAN = 0x18, LF = 0x0A;

Bytes Lo(int v) {
  return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
}

// RAM logo 0: one solid block of 8 x 8 dots.
Bytes DefineBlock() {
  return Cat({{GS, '#', 0, GS, '*', 1, 1}, Bytes(8, 0xFF)});
}
Bytes PrintBlock() {
  return {GS, '/', 0};
}

Bytes Area(int x, int y, int w, int h) {
  return Cat({{ESC, 'W'}, Lo(x), Lo(y), Lo(w), Lo(h)});
}
Bytes At(int x, int y) {
  return Cat({{ESC, '$'}, Lo(x), {GS, '$'}, Lo(y)});
}

// One page-mode page of 512 x 400 dots in direction `dir` with the block at (x, y).
Bitmap BlockPage(int dir, int x, int y, Bytes area = Area(0, 0, 512, 400)) {
  const auto r = Render(Cat({DefineBlock(),
                             {ESC, 'L'},
                             area,
                             {ESC, 'T', static_cast<uint8_t>(dir)},
                             At(x, y),
                             PrintBlock(),
                             {FF}}));
  EXPECT_EQ(r.pages.size(), 1u);
  return r.pages.empty() ? Bitmap() : r.pages[0].dots;
}

Bitmap CropRows(const Bitmap& b, int from, int to) {
  Bitmap out(b.width(), to - from);
  for (int y = from; y < to && y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x)
      if (b.Get(x, y)) out.Set(x, y - from);
  return out;
}

void ExpectBox(const Bitmap& page, int left, int top, int right, int bottom) {
  const testing::Box box = Ink(page);
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(box.left, left);
  EXPECT_EQ(box.top, top);
  EXPECT_EQ(box.right, right);
  EXPECT_EQ(box.bottom, bottom);
  EXPECT_EQ(testing::CountDots(page), 64);
}

TEST(PageModeTest, PositionsPutAPictureOnItsBaselineInEachDirection) {
  // Direction 0: x along the paper's width, the picture's bottom row just above y.
  Bitmap page = BlockPage(0, 100, 50);
  EXPECT_EQ(page.width(), kDots80mm);
  EXPECT_EQ(page.height(), 400);
  ExpectBox(page, 100, 42, 107, 49);
  // Direction 1 starts at the lower left and runs upwards: x counts up from the bottom,
  // y to the right.
  ExpectBox(BlockPage(1, 100, 50), 42, 292, 49, 299);
  // Direction 2 is upside down from the lower right.
  ExpectBox(BlockPage(2, 100, 50), 404, 350, 411, 357);
  // Direction 3 runs downwards from the upper right.
  ExpectBox(BlockPage(3, 100, 50), 462, 100, 469, 107);
}

TEST(PageModeTest, AScaledLogoTurnsWithTheDirectionAndIsClippedAtTheAreaEdge) {
  // An L of 8 x 8 dots (the first column solid, the bottom dot of the others), printed
  // at double width and height in a square area.
  const Bytes define = Cat({{GS, '#', 0, GS, '*', 1, 1}, {0xFF}, Bytes(7, 0x01)});
  const auto page = [&](int dir, int x) {
    const auto r = Render(Cat({define,
                               {ESC, 'L'},
                               Area(0, 0, 400, 400),
                               {ESC, 'T', static_cast<uint8_t>(dir)},
                               At(x, 50),
                               {GS, '/', 3},
                               {FF}}));
    EXPECT_EQ(r.pages.size(), 1u);
    return r.pages.empty() ? Bitmap(kDots80mm, 400) : r.pages[0].dots;
  };
  const Bitmap upright = page(0, 100);
  EXPECT_EQ(testing::CountDots(upright), (8 + 7) * 4);
  const Bitmap turned = page(1, 100);
  int misplaced = 0;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) misplaced += upright.Get(x, y) != turned.Get(y, 399 - x);
  EXPECT_EQ(misplaced, 0);
  // At x 394 six of the sixteen doubled columns fit: two of the solid one, four of the
  // bottom dots.
  EXPECT_EQ(testing::CountDots(page(0, 394)), 2 * 16 + 4 * 2);
}

TEST(PageModeTest, AreaOriginShiftsEverythingAndIsPrintedAboveTheArea) {
  const Bitmap page = BlockPage(0, 100, 50, Area(16, 10, 300, 200));
  EXPECT_EQ(page.height(), 210);
  ExpectBox(page, 116, 52, 123, 59);
}

TEST(PageModeTest, TextLandsWithItsFirstDotInItsCell) {
  const auto r =
      Render(Cat({{ESC, 'L'}, Area(0, 0, 512, 400), {ESC, 'T', 0}, At(200, 100), Text("H"), {FF}}));
  ASSERT_EQ(r.pages.size(), 1u);
  const testing::Box box = Ink(r.pages[0].dots);
  ASSERT_FALSE(box.empty());
  // Font A: a 12 x 24 cell whose bottom row is row 99.
  EXPECT_GE(box.left, 200);
  EXPECT_LE(box.left, 203);
  EXPECT_LE(box.right, 211);
  EXPECT_GE(box.top, 76);
  EXPECT_LE(box.bottom, 99);
  EXPECT_GE(box.height(), 12);  // a capital fills most of the cell
}

TEST(PageModeTest, DirectionOneTurnsTextToRunAlongThePaper) {
  const Bytes line = Text("ACCOUNT NUMBER");
  const auto flat = Render(Cat({{ESC, 'L'}, Area(0, 0, 512, 1024), At(70, 70), line, {FF}}));
  const auto turned =
      Render(Cat({{ESC, 'L'}, Area(0, 0, 512, 1024), {ESC, 'T', 1}, At(70, 70), line, {FF}}));
  const testing::Box f = Ink(flat.pages.at(0).dots), t = Ink(turned.pages.at(0).dots);
  EXPECT_GT(f.width(), 4 * f.height());
  EXPECT_GT(t.height(), 4 * t.width());
  // Same size, turned: the text's length runs up the paper from 70 dots above the
  // area's bottom edge, its lines across from 70 dots.
  EXPECT_NEAR(t.height(), f.width(), 1);
  EXPECT_NEAR(t.width(), f.height(), 1);
  EXPECT_LE(t.bottom, 1023 - 70);
  EXPECT_GE(t.bottom, 1023 - 73);
  EXPECT_LE(t.right, 69);
  // Turned counterclockwise: the flat picture's first column is the turned one's last row.
  for (int k = 0; k < f.height(); ++k)
    EXPECT_EQ(flat.pages[0].dots.Get(f.left, f.top + k),
              turned.pages[0].dots.Get(t.left + k, t.bottom))
        << k;
}

TEST(PageModeTest, CancelClearsTheAreaAndPrintPageKeepsIt) {
  const Bytes start = Cat({DefineBlock(), {ESC, 'L'}, Area(0, 0, 512, 100), At(10, 20)});
  // CAN drops what was drawn; what follows still prints.
  auto r = Render(Cat({start, PrintBlock(), {CAN}, At(300, 60), PrintBlock(), {FF}}));
  ASSERT_EQ(r.pages.size(), 1u);
  ExpectBox(r.pages[0].dots, 300, 52, 307, 59);
  // ESC FF prints and keeps the data and the mode; FF prints again and ends page mode,
  // so the text after it is a line of standard mode under the two copies.
  r = Render(Cat({start, PrintBlock(), {ESC, FF}, {FF}, Text("x"), {LF}}));
  ASSERT_EQ(r.pages.size(), 1u);
  const Bitmap& roll = r.pages[0].dots;
  ExpectBox(CropRows(roll, 0, 100), 10, 12, 17, 19);
  ExpectBox(CropRows(roll, 100, 200), 10, 12, 17, 19);
  EXPECT_FALSE(Ink(roll, 0, 200).empty());
}

TEST(PageModeTest, MotionUnitsScalePositionsAndAreas) {
  // GS P 90 90: one unit is two dots.
  const auto r = Render(Cat({DefineBlock(),
                             {GS, 'P', 90, 90},
                             {ESC, 'L'},
                             Area(0, 0, 256, 100),
                             At(50, 25),
                             PrintBlock(),
                             {FF}}));
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].dots.height(), 200);
  ExpectBox(r.pages[0].dots, 100, 42, 107, 49);
}

TEST(PageModeTest, PositionsOutsideTheAreaAreIgnored) {
  // ESC $ 600 and GS $ 500 fall outside 512 x 400: the block stays at (100, 50).
  auto r = Render(Cat({DefineBlock(),
                       {ESC, 'L'},
                       Area(0, 0, 512, 400),
                       At(100, 50),
                       At(600, 500),
                       PrintBlock(),
                       {FF}}));
  ExpectBox(r.pages.at(0).dots, 100, 42, 107, 49);
  // GS \ moves relative to the last position, also backwards.
  r = Render(Cat({DefineBlock(),
                  {ESC, 'L'},
                  Area(0, 0, 512, 400),
                  At(100, 50),
                  {GS, '\\'},
                  Lo(-20 & 0xFFFF),
                  PrintBlock(),
                  {FF}}));
  ExpectBox(r.pages.at(0).dots, 100, 22, 107, 29);
}

TEST(PageModeTest, AnEmptyAreaIsRefusedAndTheOldOneStays) {
  const auto r = Render(Cat({DefineBlock(),
                             {ESC, 'L'},
                             Area(0, 0, 512, 300),
                             Area(0, 0, 0, 0),
                             Area(0, 0, 512, 0),
                             At(100, 50),
                             PrintBlock(),
                             {FF}}));
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].dots.height(), 300);
  ExpectBox(r.pages[0].dots, 100, 42, 107, 49);
  EXPECT_EQ(r.report.refused, 2u);
}

TEST(PageModeTest, AnAreaWiderThanThePaperIsClipped) {
  const auto r = Render(
      Cat({DefineBlock(), {ESC, 'L'}, Area(400, 0, 512, 100), At(100, 50), PrintBlock(), {FF}}),
      kDotsNarrow);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].dots.width(), kDotsNarrow);
  // 16 dots of area are left on narrow paper: ESC $ 100 falls outside it and is
  // ignored, the block stays at the area's left edge.
  ExpectBox(r.pages[0].dots, 400, 42, 407, 49);
  EXPECT_EQ(r.report.refused, 1u);
}

}  // namespace
}  // namespace tillvane::render
