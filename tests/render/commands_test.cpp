// The command table and the placement every kind of picture shares: each command is
// taken at its own length, ESC a places every picture alike, and ESC T turns reversed
// text the same way as the dots drawn over it.
#include <gtest/gtest.h>

#include <string>

#include "tests/render/render_support.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Ink;
using testing::Render;
using testing::Text;

constexpr uint8_t DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D, FF = 0x0C, LF = 0x0A;

Bytes Lo(int v) {
  return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
}

std::string Hex(const Bytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += {kDigits[b >> 4], kDigits[b & 15], ' '};
  }
  return out;
}

struct Taken {
  Bytes command;
  uint64_t unknown;  // bytes of it counted as unknown
};

// Commands that print and feed nothing with these arguments. When one is read at a
// wrong length, the reset and the text after it come out differently.
const Taken kTaken[] = {
    {{0x09}, 0},
    {{FF}, 0},
    {{0x0D}, 0},
    {{0x18}, 0},
    {{0x15, 0}, 0},
    {{0x1E, 0}, 0},
    {{DLE, 0x04, 1}, 0},
    {{DLE, 0x05, 0}, 0},
    {{DLE, 0x14, 1, 1, 1}, 0},
    {{ESC, '2'}, 0},
    {{ESC, 'L'}, 0},
    {{ESC, 'S'}, 0},
    {{ESC, FF}, 0},
    {{ESC, '<'}, 0},
    {{ESC, ' ', 0}, 0},
    {{ESC, '!', 0}, 0},
    {{ESC, '-', 0}, 0},
    {{ESC, '3', 30}, 0},
    {{ESC, 'E', 1}, 0},
    {{ESC, 'G', 1}, 0},
    {{ESC, 'J', 0}, 0},
    {{ESC, 'M', 1}, 0},
    {{ESC, 'R', 0}, 0},
    {{ESC, 'T', 1}, 0},
    {{ESC, 'U', 0}, 0},
    {{ESC, 'V', 0}, 0},
    {{ESC, 'a', 1}, 0},
    {{ESC, 'd', 0}, 0},
    {{ESC, 'e', 0}, 0},
    {{ESC, 't', 0}, 0},
    {{ESC, '{', 0}, 0},
    {{ESC, 'F', 0}, 0},
    {{ESC, 'r', 0}, 0},
    {{ESC, 'K', 0}, 0},
    {{ESC, '%', 0}, 0},
    {{ESC, '?', 0}, 0},
    {{ESC, '=', 0}, 0},
    {{ESC, '$', 0, 0}, 0},
    {{ESC, '\\', 0, 0}, 0},
    {{ESC, 'c', 0, 0}, 0},
    {{ESC, 'p', 0, 0, 0}, 0},
    {{ESC, '*', 33, 0, 0}, 0},
    {{ESC, '&', 3, 2, 1}, 0},
    {Cat({{ESC, 'W'}, Lo(0), Lo(0), Lo(8), Lo(8)}), 0},
    {{ESC, 'D', 8, 16, 0}, 0},
    {{FS, '&'}, 0},
    {{FS, '.'}, 0},
    {{FS, '!', 0}, 0},
    {{FS, '-', 0}, 0},
    {{FS, 'C', 0}, 0},
    {{FS, 'W', 0}, 0},
    {{FS, 'S', 0, 0}, 0},
    {{GS, ':'}, 0},
    {{GS, '!', 0x11}, 0},
    {{GS, '#', 3}, 0},
    {{GS, 'B', 1}, 0},
    {{GS, 'H', 2}, 0},
    {{GS, 'I', 1}, 0},
    {{GS, 'T', 0}, 0},
    {{GS, 'a', 0}, 0},
    {{GS, 'b', 0}, 0},
    {{GS, 'f', 1}, 0},
    {{GS, 'h', 50}, 0},
    {{GS, 'r', 1}, 0},
    {{GS, 'w', 2}, 0},
    {{GS, 'E', 0}, 0},
    {{GS, '$', 0, 0}, 0},
    {{GS, '\\', 0, 0}, 0},
    {Cat({{GS, 'L'}, Lo(30)}), 0},
    {Cat({{GS, 'W'}, Lo(200)}), 0},
    {{GS, 'P', 0, 0}, 0},
    {{GS, '^', 0, 0, 0}, 0},
    {{GS, '(', 'A', 0, 0}, 0},
    {{GS, 'v', '0', 0, 0, 0, 0, 0}, 0},
    {{GS, '8', 'L', 0, 0, 0, 0}, 0},
    // Unknown: the bytes gathered until the command was known to be none.
    {{0x01}, 1},
    {{DLE, 'x'}, 2},
    {{ESC, 'Z'}, 2},
    {{FS, 'Z'}, 2},
    {{GS, 'Z'}, 2},
    {{GS, 'V', 9}, 3},
    {{GS, 'k', 80}, 3},
    {{GS, 'v', '1'}, 3},
    {{GS, '8', 'M'}, 3},
};

TEST(CommandsTest, EachCommandIsTakenAtItsOwnLength) {
  const auto plain = Render(Cat({Text("AB"), {LF}}));
  ASSERT_EQ(plain.pages.size(), 1u);
  for (const Taken& t : kTaken) {
    SCOPED_TRACE("command " + Hex(t.command));
    // One call, and a byte at a time.
    for (size_t slice : {size_t{0}, size_t{1}}) {
      const auto r = Render(Cat({t.command, {ESC, '@'}, Text("AB"), {LF}}), kDots80mm, slice);
      EXPECT_EQ(r.report.unknown_bytes, t.unknown);
      EXPECT_EQ(r.report.refused, 0u);
      ASSERT_EQ(r.pages.size(), 1u);
      EXPECT_EQ(r.pages[0].dots.bits(), plain.pages[0].dots.bits());
    }
  }
}

// RAM logo 0 of 16 x 8 dots, solid.
Bytes DefineLogo() {
  return Cat({{GS, '#', 0, GS, '*', 2, 1}, Bytes(16, 0xFF)});
}

TEST(CommandsTest, JustificationPlacesEveryPictureAlike) {
  // Each picture is 16 dots wide.
  const Bytes pictures[] = {
      {GS, '/', 0},                                             // RAM logo
      Cat({{GS, 'v', '0', 0}, Lo(2), Lo(8), Bytes(16, 0xFF)}),  // raster image
      Cat({{ESC, '*', 33}, Lo(16), Bytes(48, 0xFF), {LF}}),     // bit image, in a line
      Cat({testing::GsParenL(Cat({{48, 112, 48, 1, 1, 49}, Lo(16), Lo(8), Bytes(16, 0xFF)})),
           testing::GsParenL({48, 50})}),  // graphics in the print buffer
  };
  struct Case {
    uint8_t justify;
    int margin, width;
    int left;  // of the picture's first dot
  };
  const Case cases[] =
      {
          {0, 0, 512, 0},     {1, 0, 512, 248},  {2, 0, 512, 496},
          {0, 40, 200, 40},   {1, 40, 200, 132}, {2, 40, 200, 224},
          {1, 100, 100, 142}, {2, 40, 600, 496},  // the print width ends at the paper's edge
      };
  for (const Case& c : cases) {
    for (const Bytes& picture : pictures) {
      SCOPED_TRACE("justify " + std::to_string(c.justify) + ", margin " + std::to_string(c.margin) +
                   ", width " + std::to_string(c.width) + ", picture " +
                   Hex(Bytes(picture.begin(), picture.begin() + 3)));
      const auto r = Render(Cat({DefineLogo(),
                                 {GS, 'L'},
                                 Lo(c.margin),
                                 {GS, 'W'},
                                 Lo(c.width),
                                 {ESC, 'a', c.justify},
                                 picture}));
      ASSERT_EQ(r.pages.size(), 1u);
      const testing::Box box = Ink(r.pages[0].dots);
      ASSERT_FALSE(box.empty());
      EXPECT_EQ(box.left, c.left);
      EXPECT_EQ(box.width(), 16);
    }
  }
}

TEST(CommandsTest, ReversedTextTurnsLikeThePicturesOfEachDirection) {
  // A reversed space with 4 dots of spacing is a solid 16 x 24 cell, where a solid
  // 16 x 24 logo at the same position lands.
  for (uint8_t dir = 0; dir < 4; ++dir) {
    SCOPED_TRACE("direction " + std::to_string(dir));
    auto page = [dir](const Bytes& draw) {
      const auto r = Render(Cat({{GS, '#', 0, GS, '*', 2, 3},
                                 Bytes(48, 0xFF),
                                 {ESC, 'L', ESC, 'W'},
                                 Lo(0),
                                 Lo(0),
                                 Lo(512),
                                 Lo(300),
                                 {ESC, 'T', dir, ESC, '$'},
                                 Lo(70),
                                 {GS, '$'},
                                 Lo(90),
                                 draw,
                                 {FF}}));
      EXPECT_EQ(r.pages.size(), 1u);
      return r.pages.empty() ? Bitmap() : r.pages[0].dots;
    };
    const Bitmap text = page({ESC, ' ', 4, GS, 'B', 1, ' '});
    const Bitmap logo = page({GS, '/', 0});
    const Bitmap graphic = page(
        Cat({testing::GsParenL(Cat({{48, 112, 48, 1, 1, 49}, Lo(16), Lo(24), Bytes(48, 0xFF)})),
             testing::GsParenL({48, 50})}));
    EXPECT_EQ(testing::CountDots(text), 16 * 24);
    EXPECT_EQ(text.bits(), logo.bits());
    EXPECT_EQ(text.bits(), graphic.bits());
  }
}

}  // namespace
}  // namespace tillvane::render
