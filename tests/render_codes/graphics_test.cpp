// GS ( L graphics: print-buffer pictures against the same bits printed as a GS v 0
// raster, the column form, refusals of bad or cut-short parameters, and the NV graphics
// memory across reopening, its answers and its capacity.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/graphics.h"
#include "tests/render/render_support.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
namespace fs = std::filesystem;

Bytes RandomBits(unsigned seed, std::size_t n) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes BufferPicture(int fn, int bx, int by, int c, int w, int h, const Bytes& data) {
  Bytes p = {48,
             static_cast<std::uint8_t>(fn),
             48,
             static_cast<std::uint8_t>(bx),
             static_cast<std::uint8_t>(by),
             static_cast<std::uint8_t>(c),
             static_cast<std::uint8_t>(w & 0xFF),
             static_cast<std::uint8_t>(w >> 8),
             static_cast<std::uint8_t>(h & 0xFF),
             static_cast<std::uint8_t>(h >> 8)};
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

// fn 67 with one colour plane.
Bytes DefineNv(std::uint8_t kc1, std::uint8_t kc2, int w, int h, const Bytes& data) {
  Bytes p = {48,
             67,
             48,
             kc1,
             kc2,
             1,
             static_cast<std::uint8_t>(w & 0xFF),
             static_cast<std::uint8_t>(w >> 8),
             static_cast<std::uint8_t>(h & 0xFF),
             static_cast<std::uint8_t>(h >> 8),
             49};
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

TEST(Graphics, RasterPictureEqualsTheSameBitsAsGsV0) {
  constexpr std::uint8_t GS = 0x1D;
  struct Case {
    int width, height, bx, by, colour;
  };
  const Case cases[] = {{40, 23, 1, 1, 49}, {40, 23, 2, 1, 50}, {40, 23, 1, 2, 51},
                        {40, 23, 2, 2, 52}, {37, 9, 1, 1, 49},  {37, 9, 2, 2, 49}};
  unsigned seed = 112;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " scale " +
                 std::to_string(c.bx) + "x" + std::to_string(c.by));
    const int stride = (c.width + 7) / 8;
    Bytes data = RandomBits(++seed, static_cast<std::size_t>(stride * c.height));
    const GraphicsPicture pic =
        PrintBufferGraphics(BufferPicture(112, c.bx, c.by, c.colour, c.width, c.height, data));
    ASSERT_TRUE(pic.ok) << pic.error;
    ASSERT_EQ(pic.dots.width(), c.width * c.bx);
    ASSERT_EQ(pic.dots.height(), c.height * c.by);
    // The raster prints whole bytes: the bits past the picture's width are blank.
    if (c.width % 8)
      for (int y = 0; y < c.height; ++y)
        data[static_cast<std::size_t>(y * stride + stride - 1)] &=
            static_cast<std::uint8_t>(0xFF00 >> (c.width % 8));
    const std::uint8_t m = static_cast<std::uint8_t>((c.bx == 2 ? 1 : 0) | (c.by == 2 ? 2 : 0));
    const Bytes in = testing::Cat({{GS, 'v', '0', m, static_cast<std::uint8_t>(stride), 0,
                                    static_cast<std::uint8_t>(c.height), 0},
                                   data});
    const Bitmap roll = testing::Render(in).Roll();
    ASSERT_EQ(roll.height(), pic.dots.height());
    for (int y = 0; y < roll.height(); ++y)
      for (int x = 0; x < roll.width(); ++x)
        ASSERT_EQ(roll.Get(x, y), pic.dots.Get(x, y)) << "at " << x << ", " << y;
  }
}

TEST(Graphics, ColumnPictureIsTheRasterTurned) {
  constexpr int w = 30, h = 20, bands = 3;
  const Bytes cols = RandomBits(113, static_cast<std::size_t>(w * bands));
  const GraphicsPicture pic = PrintBufferGraphics(BufferPicture(113, 2, 1, 49, w, h, cols));
  ASSERT_TRUE(pic.ok) << pic.error;
  ASSERT_EQ(pic.dots.width(), 2 * w);
  ASSERT_EQ(pic.dots.height(), h);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const bool dot = (cols[static_cast<std::size_t>(x * bands + y / 8)] >> (7 - y % 8)) & 1;
      ASSERT_EQ(pic.dots.Get(2 * x, y), dot) << x << ", " << y;
      ASSERT_EQ(pic.dots.Get(2 * x + 1, y), dot) << x << ", " << y;
    }
}

TEST(Graphics, RefusesBadOrCutShortParameters) {
  const Bytes four = RandomBits(1, 4);
  struct Bad {
    Bytes params;
    std::string error;
  };
  const Bad cases[] = {
      {{}, "no parameters"},
      {{47, 112}, "m 47"},
      {{48, 99}, "fn 99"},
      {{48, 112, 48, 1, 1}, "cut short"},
      {BufferPicture(112, 1, 1, 49, 16, 2, {}), "0 of its 4"},
      {BufferPicture(112, 1, 1, 49, 16, 2, {1, 2, 3}), "3 of its 4"},
      {BufferPicture(112, 3, 1, 49, 16, 2, four), "scale 3"},
      {BufferPicture(112, 1, 0, 49, 16, 2, four), "scale 1 × 0"},
      {BufferPicture(112, 1, 1, 53, 16, 2, four), "colour 53"},
      {BufferPicture(113, 1, 1, 52, 2, 8, four), "colour 52"},
      {BufferPicture(112, 1, 1, 49, 0, 2, four), "size 0"},
      {BufferPicture(112, 1, 2, 49, 8, 1201, four), "1..1200"},
      {BufferPicture(113, 1, 1, 49, 2, 129, four), "1..128"},
      {{48, 112, 52, 1, 1, 49, 8, 0, 1, 0, 0xFF}, "multiple tones"},
      {{48, 69, 'A'}, "4 parameter bytes needed, 1 given"},
      {{48, 69, 'A', 'B', 1, 1}, "no NV picture"},
      {{48, 69, 'A', 'B', 0, 1}, "scale 0"},
      {{48, 65, 'C', 'L', 'X'}, "\"CLR\""},
      {{48, 64, 'K', 'K'}, "\"KC\""},
      {{48, 66, 'A', 'B'}, "no NV picture"},
      {DefineNv(31, 'A', 8, 1, {0xFF}), "key codes 31"},
      {DefineNv('A', 'A', 16, 2, {1, 2, 3}), "plane 1 is cut short"},
      {{48, 67, 48, 'A', 'A', 1, 8, 0, 1, 0, 48, 0xFF}, "colour 48"},
      {{48, 67, 48, 'A', 'A', 5, 8, 0, 1, 0, 49, 0xFF}, "5 colours"},
      {DefineNv('A', 'A', 8193, 1, four), "size 8193"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.error);
    NvGraphicsStore store;
    const GraphicsOutcome out = RunGraphics(c.params, store);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(out.print);
    EXPECT_NE(out.error.find(c.error), std::string::npos) << out.error;
    EXPECT_TRUE(store.graphics().empty());
  }
  // Every cut-short form of good commands is refused, never read past.
  NvGraphicsStore store;
  for (const Bytes& good : {BufferPicture(112, 2, 2, 49, 12, 3, RandomBits(2, 6)),
                            BufferPicture(113, 1, 1, 49, 3, 9, RandomBits(3, 6)),
                            DefineNv('x', 'y', 12, 3, RandomBits(4, 6))})
    for (std::size_t n = 0; n < good.size(); ++n)
      EXPECT_FALSE(RunGraphics({good.data(), n}, store).ok) << n << " bytes";
  EXPECT_TRUE(store.graphics().empty());
}

class NvGraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tillvane-nv-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(NvGraphicsTest, PicturesSurviveReopeningAndAnswerAsStored) {
  const fs::path file = dir_ / "tillvane" / "nv-graphics.bin";
  const Bytes logo = RandomBits(67, 3 * 10);
  const Bytes star = RandomBits(68, 2 * 4);
  {
    NvGraphicsStore store(file, 1000);
    std::string error;
    ASSERT_TRUE(store.Open(&error)) << error;
    ASSERT_TRUE(RunGraphics(DefineNv('L', '1', 20, 10, logo), store).ok);
    // Column form: 4 columns of 2 bands.
    Bytes cols = {48, 68, 48, 'S', 'T', 1, 4, 0, 16, 0, 49};
    cols.insert(cols.end(), star.begin(), star.end());
    const GraphicsOutcome defined = RunGraphics(cols, store);
    ASSERT_TRUE(defined.ok) << defined.error;
    // Defining a key again replaces the picture.
    ASSERT_TRUE(RunGraphics(DefineNv('L', '1', 24, 10, logo), store).ok);
    EXPECT_EQ(store.used(), 30u + 16u);  // whole bytes a row
  }
  NvGraphicsStore store(file, 1000);
  std::string error;
  ASSERT_TRUE(store.Open(&error)) << error;
  ASSERT_EQ(store.graphics().size(), 2u);
  const GraphicsOutcome list = RunGraphics(Bytes{48, 64, 'K', 'C'}, store);
  EXPECT_EQ(list.answer, (Bytes{0x37, 0x72, 0x40, 'S', 'T', 'L', '1', 0x00}));
  EXPECT_EQ(RunGraphics(Bytes{48, 48}, store).answer, (Bytes{0x37, 0x30, '1', '0', '0', '0', 0}));
  EXPECT_EQ(RunGraphics(Bytes{48, 51}, store).answer, (Bytes{0x37, 0x31, '9', '5', '4', 0}));

  // fn 69 prints the stored picture, scaled, exactly as fn 112 would.
  const GraphicsOutcome printed = RunGraphics(Bytes{48, 69, 'L', '1', 2, 1}, store);
  ASSERT_TRUE(printed.ok) << printed.error;
  const GraphicsPicture same = PrintBufferGraphics(BufferPicture(112, 2, 1, 49, 24, 10, logo));
  ASSERT_TRUE(printed.print);
  EXPECT_TRUE(*printed.print == same.dots);
  const GraphicsOutcome star4 = RunGraphics(Bytes{48, 69, 'S', 'T', 1, 1}, store);
  ASSERT_TRUE(star4.print);
  EXPECT_EQ(star4.print->Get(0, 0), (star[0] >> 7) & 1);
  EXPECT_EQ(star4.print->Get(3, 15), star[7] & 1);

  // More than the capacity left is refused and changes nothing, in memory or on disk.
  const GraphicsOutcome full =
      RunGraphics(DefineNv('B', 'G', 8 * 955, 1, RandomBits(9, 955)), store);
  EXPECT_FALSE(full.ok);
  EXPECT_NE(full.error.find("954 are free"), std::string::npos) << full.error;
  EXPECT_EQ(store.graphics().size(), 2u);

  ASSERT_TRUE(RunGraphics(Bytes{48, 66, 'S', 'T'}, store).ok);
  {
    NvGraphicsStore again(file, 1000);
    ASSERT_TRUE(again.Open(&error)) << error;
    ASSERT_EQ(again.graphics().size(), 1u);
    EXPECT_NE(again.Find('L', '1'), nullptr);
  }
  ASSERT_TRUE(RunGraphics(Bytes{48, 65, 'C', 'L', 'R'}, store).ok);
  NvGraphicsStore cleared(file, 1000);
  ASSERT_TRUE(cleared.Open(&error)) << error;
  EXPECT_TRUE(cleared.graphics().empty());
}

TEST_F(NvGraphicsTest, DamagedFileIsReportedAndKept) {
  const fs::path file = dir_ / "nv.bin";
  fs::create_directories(dir_);
  for (const std::string& content : {std::string("not a store"),
                                     std::string("TVNVGFX1\x01\x00"
                                                 "AB\x08\x00\x04\x00",
                                                 14),
                                     std::string("TVNVGFX1\x01\x00"
                                                 "\x01"
                                                 "B\x08\x00\x01\x00\xFF",
                                                 15)}) {
    { std::ofstream(file, std::ios::binary) << content; }
    NvGraphicsStore store(file);
    std::string error;
    EXPECT_FALSE(store.Open(&error));
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_TRUE(store.graphics().empty());
    EXPECT_EQ(fs::file_size(file), content.size());
  }
  // Without a path the memory is the process's own: nothing is written anywhere.
  NvGraphicsStore memory;
  std::string error;
  ASSERT_TRUE(memory.Open(&error));
  ASSERT_TRUE(RunGraphics(DefineNv('A', 'B', 8, 1, {0x81}), memory).ok);
  EXPECT_NE(memory.Find('A', 'B'), nullptr);
}

}  // namespace
}  // namespace tillvane::render
