// Logos: the shipped pictures downloaded through the real builders and printed back,
// and the flash store that keeps flash logos between runs.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "commands/bitmap_logo.h"
#include "commands/posfun.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "render/logo_store.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Cat;
using testing::Render;

constexpr uint8_t GS = 0x1D, FS = 0x1C, ESC = 0x1B;

// A 1-bit BMP of the 62-byte layout; index 0 of the shipped palettes is black.
struct Bmp {
  int width = 0, height = 0;
  Bytes file;
  bool Black(int x, int y) const {
    const int stride = ((width + 31) / 32) * 4;
    const uint8_t b = file[62 + static_cast<size_t>(height - 1 - y) * stride + x / 8];
    return ((b >> (7 - x % 8)) & 1) == 0;
  }
};

Bmp ReadBmp(const char* name) {
  Bmp bmp;
  bmp.file = tillvane::testing::ReadFileBytes(testing::DataFile(name));
  auto i32 = [&](size_t at) {
    return static_cast<int>(bmp.file[at] | bmp.file[at + 1] << 8 | bmp.file[at + 2] << 16 |
                            bmp.file[at + 3] << 24);
  };
  bmp.width = i32(18);
  bmp.height = i32(22);
  return bmp;
}

// The logo printed at the top left of the page: the picture with its blank rows above
// and its blank columns to the right.
void ExpectPicture(const Bitmap& page, const Bmp& bmp) {
  const int bands = (bmp.height + 7) / 8, blank_top = bands * 8 - bmp.height;
  const int columns = ((bmp.width + 31) / 32) * 32;
  ASSERT_GE(page.height(), bands * 8);
  int wrong = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const bool inside = x < bmp.width && y >= blank_top && y < bands * 8;
      const bool want = inside && bmp.Black(x, y - blank_top);
      wrong += page.Get(x, y) != want;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(testing::Ink(page).right, columns - 1);
}

Bytes Recorded(const std::function<int32_t()>& send) {
  auto rec = tillvane::testing::OpenRecordingLink(LinkSerial);
  EXPECT_EQ(send(), 0);
  ResetLinkState();
  return rec->All();
}

class LogoTest : public ::testing::Test {
 protected:
  tillvane::testing::ScopedTempDir dir_;
};

TEST_F(LogoTest, ShippedPicturesComeBackDotForDotFromRamAndFlash) {
  const struct {
    const char* file;
    uint8_t n;
  } ram[] = {{"Horse.bmp", 1}, {"Lion.bmp", 2}, {"Map.bmp", 3}};
  for (const auto& l : ram) {
    SCOPED_TRACE(l.file);
    const Bytes download = Recorded([&] {
      return InitializePrinter() | DownloadRamLogo(testing::DataFile(l.file).c_str(), l.n);
    });
    const Bytes print = Recorded([&] { return PrintRamLogo(l.n); });
    const auto r = Render(Cat({download, print}));
    ASSERT_EQ(r.pages.size(), 1u);
    ExpectPicture(r.pages[0].dots, ReadBmp(l.file));
    EXPECT_TRUE(r.report.notes.empty());
  }
  const fs::path store = dir_.path() / "flash.bin";
  const Bytes download = Recorded([] {
    const uint8_t define[] = {FS, 'q', 1};
    return SendData(define, 3) | SendFlashLogoImage(testing::DataFile("Dragon.bmp").c_str());
  });
  const Bytes print = Recorded([] { return PrintFlashLogo(1); });
  auto r = Render(Cat({download, print}), kDots80mm, 0, store);
  ASSERT_EQ(r.pages.size(), 1u);
  ExpectPicture(r.pages[0].dots, ReadBmp("Dragon.bmp"));
  // A new printer on the same store still has it, as a printer keeps its flash.
  r = Render(print, kDots80mm, 0, store);
  ASSERT_EQ(r.pages.size(), 1u);
  ExpectPicture(r.pages[0].dots, ReadBmp("Dragon.bmp"));
}

TEST_F(LogoTest, LogosSurviveAReset) {
  const Bytes define = Cat({{GS, '#', 7, GS, '*', 1, 1}, Bytes(8, 0xFF)});
  const Bytes flash = Cat({{FS, 'q', 1, 1, 0, 1, 0}, Bytes(8, 0xFF)});
  const auto r = Render(Cat({define, flash, {ESC, '@', GS, '#', 7, GS, '/', 0, FS, 'p', 1, 0}}));
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(testing::CountDots(r.pages[0].dots), 128);
  EXPECT_TRUE(r.report.notes.empty());
}

TEST_F(LogoTest, ScaleModesReplicateDots) {
  const Bytes define =
      Cat({{GS, '#', 0, GS, '*', 1, 1}, Bytes(8, 0xF0)});  // top half of each column
  for (int m : {0, 1, 2, 3, 48, 49, 50, 51}) {
    const auto r = Render(Cat({define, {GS, '/', static_cast<uint8_t>(m)}}));
    ASSERT_EQ(r.pages.size(), 1u);
    const int xm = (m & 1) + 1, ym = ((m >> 1) & 1) + 1;
    const auto box = testing::Ink(r.pages[0].dots);
    EXPECT_EQ(box.width(), 8 * xm) << int(m);
    EXPECT_EQ(box.height(), 4 * ym) << int(m);
    EXPECT_EQ(testing::CountDots(r.pages[0].dots), 32 * xm * ym) << int(m);
  }
}

TEST_F(LogoTest, LogosNeverDefinedAreReportedAndPrintNothing) {
  const auto r = Render({GS, '#', 4, GS, '/', 0, FS, 'p', 1, 0});
  EXPECT_TRUE(r.pages.empty());
  ASSERT_EQ(r.report.notes.size(), 2u);
  EXPECT_NE(r.report.notes[0].find("RAM logo 4"), std::string::npos);
  EXPECT_NE(r.report.notes[1].find("flash logo 1"), std::string::npos);
}

TEST_F(LogoTest, FlashDefinitionOutOfRangeKeepsTheOldFlash) {
  const fs::path store = dir_.path() / "flash.bin";
  Render(Cat({{FS, 'q', 1, 1, 0, 1, 0}, Bytes(8, 0xFF)}), kDots80mm, 0, store);
  // x 2000 is no image a printer takes: refused, the old logo stays, the bytes after
  // the header are read as commands again ("AB" prints).
  const auto r =
      Render({FS, 'q', 1, 0xD0, 0x07, 1, 0, 'A', 'B', 0x0A, FS, 'p', 1, 0}, kDots80mm, 0, store);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_GT(testing::CountDots(r.pages[0].dots), 64);
  ASSERT_EQ(r.report.notes.size(), 1u);
  EXPECT_NE(r.report.notes[0].find("out of range"), std::string::npos);
  std::string error;
  const auto logos = LoadFlashLogos(store, &error);
  ASSERT_TRUE(logos) << error;
  EXPECT_EQ(logos->size(), 1u);
}

TEST_F(LogoTest, FlashOverItsCapacityRefusesTheImageButKeepsItsNumber) {
  // 1023 x 40 bytes x 8 is 327360 bytes, more than the 256 KiB of flash; the second
  // image still is number 2.
  Bytes in = {FS, 'q', 2, 0xFF, 0x03, 40, 0};
  in.resize(in.size() + 1023 * 40 * 8, 0);
  in = Cat({in, {1, 0, 1, 0}, Bytes(8, 0xFF), {FS, 'p', 2, 0, FS, 'p', 1, 0}});
  const auto r = Render(in);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(testing::CountDots(r.pages[0].dots), 64);
  ASSERT_EQ(r.report.notes.size(), 2u);
  EXPECT_NE(r.report.notes[0].find("larger than the flash"), std::string::npos);
  EXPECT_NE(r.report.notes[1].find("flash logo 1"), std::string::npos);
}

TEST_F(LogoTest, DamagedStoreIsReportedAndStartsEmpty) {
  const fs::path store = dir_.path() / "flash.bin";
  std::ofstream(store, std::ios::binary) << "TVFLASH1\x01\x00\x05";
  const auto r = Render({FS, 'p', 1, 0}, kDots80mm, 0, store);
  EXPECT_TRUE(r.pages.empty());
  ASSERT_EQ(r.report.notes.size(), 2u);
  EXPECT_NE(r.report.notes[0].find("flash logo store not read"), std::string::npos);
}

// The stores' file is written whole or not at all: a write that cannot be made names
// the file and leaves the old one as it was.
TEST_F(LogoTest, AStoreFileIsReplacedWholeOrLeftAsItWas) {
  const fs::path store = dir_.path() / "stores" / "flash.bin";
  std::string error;
  ASSERT_TRUE(WriteStoreFile(store, std::string("first\0file", 10), &error)) << error;
  ASSERT_TRUE(WriteStoreFile(store, "second", &error)) << error;
  auto read = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(read(store), "second");
  EXPECT_FALSE(fs::exists(store.string() + ".tmp"));

  // A folder where the temporary file would go: the write fails, the store stands.
  fs::create_directory(store.string() + ".tmp");
  EXPECT_FALSE(WriteStoreFile(store, "third", &error));
  EXPECT_NE(error.find("flash.bin.tmp"), std::string::npos) << error;
  EXPECT_EQ(read(store), "second");
}

TEST_F(LogoTest, StoreLivesUnderTheUsersDataFolder) {
  const char* old_xdg = std::getenv("XDG_DATA_HOME");
  const std::string saved = old_xdg ? old_xdg : "";
  setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
  EXPECT_EQ(DefaultFlashStorePath(), fs::path("/tmp/xdg-data/tillvane/flash-logos.bin"));
  unsetenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home && *home)
    EXPECT_EQ(DefaultFlashStorePath(),
              fs::path(home) / ".local" / "share" / "tillvane" / "flash-logos.bin");
  if (old_xdg) setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace tillvane::render
