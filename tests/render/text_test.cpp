// Standard mode: text, its modes, lines and feeds, and the images that print in line.
#include <gtest/gtest.h>

#include "render/glyphs.h"
#include "tests/render/render_support.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Ink;
using testing::Render;
using testing::Text;

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A, NAK = 0x15, RS = 0x1E;

Bitmap Print(const Bytes& in, int paper = kDots80mm) {
  const auto r = Render(in, paper);
  EXPECT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.report.unknown_bytes, 0u);
  return r.pages.empty() ? Bitmap() : r.pages[0].dots;
}

TEST(TextTest, FontsAreInstalled) {
  EXPECT_TRUE(FontsAvailable());
}

TEST(TextTest, LinesFeedTheLineSpacingButAtLeastTheirHeight) {
  // ESC 3 0: each line is as tall as its characters (24 dots of font A); an empty line
  // feeds one character height.
  EXPECT_EQ(Print(Cat({{ESC, '3', 0}, Text("a"), {LF}, Text("b"), {LF, LF}})).height(), 72);
  // ESC 3 40 and ESC 2 (30 dots, 1/6 inch).
  EXPECT_EQ(Print(Cat({{ESC, '3', 40}, Text("a"), {LF, ESC, '2'}, Text("b"), {LF}})).height(), 70);
  // Font B is 17 dots high; double height doubles it.
  EXPECT_EQ(Print(Cat({{ESC, '3', 0, ESC, 'M', 1}, Text("a"), {LF}})).height(), 17);
  EXPECT_EQ(Print(Cat({{ESC, '3', 0, GS, '!', 0x01}, Text("a"), {LF}})).height(), 48);
  // Feeds: ESC J n dots, ESC d n lines, NAK n and RS n dots.
  EXPECT_EQ(Print(Cat({Text("a"), {ESC, 'J', 100}})).height(), 100);
  EXPECT_EQ(Print(Cat({Text("a"), {ESC, 'd', 3}})).height(), 90);
  EXPECT_EQ(Print(Cat({Text("a"), {LF, NAK, 50, RS, 20}})).height(), 100);
}

TEST(TextTest, SizesSpacingAndPositionsMoveTheNextCharacter) {
  auto width = [](const Bytes& in) { return Ink(Print(Cat({in, Text("HH"), {LF}}))).width(); };
  const int plain = width({});
  EXPECT_GE(plain, 12 + 6);
  EXPECT_LE(plain, 24);
  EXPECT_EQ(width({GS, '!', 0x10}), 2 * plain);                      // double width
  EXPECT_EQ(width({GS, '!', 0x30}), 4 * plain);                      // four times
  EXPECT_EQ(width({ESC, ' ', 10}), plain + 10);                      // right-side spacing
  EXPECT_EQ(width({ESC, '!', 0x20, ESC, ' ', 5}), 2 * (plain + 5));  // doubled in double width
  EXPECT_LT(width({ESC, 'F', 1}), plain);                            // font B, also by ESC F 3
  EXPECT_EQ(width({ESC, 'F', 3}), width({ESC, 'M', 1}));
  EXPECT_EQ(width({ESC, 'F', 0}), plain);
  // ESC $ 200: the first dot near x 200.
  const auto box = Ink(Print(Cat({{ESC, '$', 200, 0}, Text("H"), {LF}})));
  EXPECT_GE(box.left, 200);
  EXPECT_LE(box.left, 203);
}

TEST(TextTest, EmphasisUnderlineAndReverseAddDots) {
  auto dots = [](const Bytes& in) {
    return testing::CountDots(Print(Cat({in, Text("Hello"), {LF}})));
  };
  const int plain = dots({});
  EXPECT_GT(dots({ESC, 'E', 1}), plain);
  EXPECT_EQ(dots({ESC, 'E', 1}), dots({ESC, '!', 0x08}));
  EXPECT_EQ(dots({ESC, '-', 1}), plain + 5 * 12 - 0);  // one dot row under five cells
  EXPECT_GT(dots({ESC, '-', 2}), dots({ESC, '-', 1}));
  EXPECT_EQ(dots({GS, 'B', 1}), 5 * 12 * 24 - plain);
}

TEST(TextTest, JustificationCentresAndRightAlignsTheLine) {
  const auto centre = Ink(Print(Cat({{ESC, 'a', 1}, Text("HH"), {LF}})));
  const auto right = Ink(Print(Cat({{ESC, 'a', 2}, Text("HH"), {LF}})));
  EXPECT_NEAR((centre.left + centre.right) / 2, kDots80mm / 2, 3);
  EXPECT_GE(right.right, kDots80mm - 4);
}

TEST(TextTest, ALineTooLongForThePaperWrapsWithinTheWidth) {
  const Bitmap page = Print(Cat({{ESC, '3', 0}, Text(std::string(50, 'W')), {LF}}), kDotsNarrow);
  EXPECT_EQ(page.height(), 48);  // 34 cells of 12 dots fit 416, the rest on a second line
  EXPECT_LT(Ink(page).right, kDotsNarrow);
}

TEST(TextTest, GbkPairsDrawDoubleWidthCells) {
  // "中文" in GBK: two 24 x 24 characters that are not the box of an unknown one.
  const Bytes chinese = {0xD6, 0xD0, 0xCE, 0xC4};
  const Bitmap page = Print(Cat({{ESC, '3', 0}, chinese, {LF}}));
  const auto box = Ink(page);
  EXPECT_GT(box.width(), 24 + 12);
  EXPECT_LE(box.right, 47);
  EXPECT_EQ(page.height(), 24);
  EXPECT_EQ(DecodeGbk(0xD6, 0xD0), U'中');
  EXPECT_EQ(DecodeGbk(0xCE, 0xC4), U'文');
  const Bitmap other = Print(Cat({{ESC, '3', 0}, {0xCE, 0xC4, 0xD6, 0xD0}, {LF}}));
  EXPECT_FALSE(page == other);
  // Outside Chinese mode (FS .) the same bytes are four single-byte characters.
  const auto single = Ink(Print(Cat({{FS, '.', ESC, '3', 0}, chinese, {LF}})));
  EXPECT_GT(single.right, 36);
  // A lead byte that gets no trail is counted as unknown; the text goes on.
  const auto r = Render(Cat({{0xD6, LF}, Text("A"), {LF}}));
  EXPECT_EQ(r.report.unknown_bytes, 1u);
  EXPECT_EQ(r.report.unknown_offsets, (std::vector<uint64_t>{0}));
}

TEST(TextTest, RasterAndBitImagesPrintTheirDots) {
  // GS v 0: 2 bytes across, 3 rows, normal and quadruple size.
  const Bytes rows = {0x80, 0x01, 0xFF, 0x00, 0x00, 0x81};
  Bitmap page = Print(Cat({{GS, 'v', '0', 0, 2, 0, 3, 0}, rows}));
  EXPECT_EQ(page.height(), 3);
  EXPECT_TRUE(page.Get(0, 0));
  EXPECT_TRUE(page.Get(15, 0));
  EXPECT_EQ(testing::CountDots(page), 2 + 8 + 2);
  EXPECT_TRUE(page.Get(8, 2));
  page = Print(Cat({{GS, 'v', '0', 3, 2, 0, 3, 0}, rows}));
  EXPECT_EQ(page.height(), 6);
  EXPECT_EQ(testing::CountDots(page), 4 * 12);
  // ESC * 33: 24-dot columns of 3 bytes, part of the line.
  page =
      Print(Cat({{ESC, '3', 0, ESC, '*', 33, 2, 0}, {0xFF, 0x00, 0x01, 0x00, 0x00, 0x80}, {LF}}));
  EXPECT_EQ(page.height(), 24);
  EXPECT_EQ(testing::CountDots(page), 10);
  EXPECT_TRUE(page.Get(0, 23));
  EXPECT_TRUE(page.Get(1, 16));
}

TEST(TextTest, ResetRestoresTheDefaults) {
  const Bitmap a = Print(Cat({Text("Hi"), {LF}}));
  const Bitmap b = Print(
      Cat({{GS, '!', 0x11, ESC, 'E', 1, ESC, '3', 0, ESC, 'a', 2, ESC, '@'}, Text("Hi"), {LF}}));
  EXPECT_TRUE(a == b);
}

}  // namespace
}  // namespace tillvane::render
