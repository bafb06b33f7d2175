#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "commands/bitmap_logo.h"
#include "link/link_state.h"
#include "tests/bitmap/test_bmp.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::TestBmp;
namespace fs = std::filesystem;

// A picture with some structure, so that orientation and bit order errors show.
bool Pattern(int32_t x, int32_t y) {
  return ((x * 7 + y * 3) % 5 == 0) || x == y;
}

class BitmapLogoTest : public ::testing::Test {
 protected:
  void SetUp() override { rec_ = testing::OpenRecordingLink(LinkKind::Serial); }
  void TearDown() override { ResetLinkState(); }

  std::string Write(const Bytes& file, const std::string& name = "logo.bmp") {
    const fs::path p = dir_.path() / name;
    testing::WriteFileBytes(p, file);
    return p.string();
  }
  std::string Write(const TestBmp& bmp) { return Write(testing::MakeBmp(bmp)); }

  // Fails the attempts whose 0-based numbers are in `failing`, counting every send.
  void FailAttempts(std::vector<size_t> failing) {
    auto attempt = std::make_shared<size_t>(0);
    rec_->accept = [attempt, failing](size_t) {
      const size_t n = (*attempt)++;
      return std::find(failing.begin(), failing.end(), n) == failing.end();
    };
  }

  testing::ScopedTempDir dir_;
  std::shared_ptr<testing::Recording> rec_;
};

TEST_F(BitmapLogoTest, WorkedExampleGoesToRamAndFlashWithTheirFraming) {
  const std::string path = Write(TestBmp{.width = 100, .height = 65, .black = Pattern});
  const Bytes columns = testing::ExpectedColumns(100, 65, Pattern);
  ASSERT_EQ(columns.size(), 1152u);

  ASSERT_EQ(DownloadRamLogo(path.c_str(), 1), 0);
  auto calls = rec_->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], FromHex("1D 23 01"));
  EXPECT_EQ(calls[1], FromHex("1D 2A 10 09"));
  EXPECT_EQ(calls[2], columns);

  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  ASSERT_EQ(SendFlashLogoImage(path.c_str()), 0);
  calls = rec_->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], FromHex("10 00 09 00"));
  EXPECT_EQ(calls[1], columns);
}

TEST_F(BitmapLogoTest, TenByThreeHasBlankTopRowsAndRightColumns) {
  // Top-left and bottom-right dots only.
  auto corners = [](int32_t x, int32_t y) { return (x == 0 && y == 0) || (x == 9 && y == 2); };
  ASSERT_EQ(DownloadRamLogo(Write(TestBmp{.width = 10, .height = 3, .black = corners}).c_str(), 2),
            0);
  auto calls = rec_->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1], FromHex("1D 2A 04 01"));
  Bytes want(32, 0);
  want[0] = 0x04;  // 5 blank rows above: the top row is dot 5 of the band, bit 2
  want[9] = 0x01;  // the bottom row is the band's last dot
  EXPECT_EQ(calls[2], want);

  // Solid: every picture column has the bottom three dots, the rest stays blank.
  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  auto solid = [](int32_t, int32_t) { return true; };
  ASSERT_EQ(DownloadRamLogo(Write(TestBmp{.width = 10, .height = 3, .black = solid}).c_str(), 2),
            0);
  Bytes solid_want(32, 0);
  for (int c = 0; c < 10; ++c) solid_want[c] = 0x07;
  EXPECT_EQ(rec_->Calls()[2], solid_want);
}

TEST_F(BitmapLogoTest, WholeBandsAndWholeWordsLeaveNothingBlank) {
  auto solid = [](int32_t, int32_t) { return true; };
  ASSERT_EQ(SendFlashLogoImage(Write(TestBmp{.width = 32, .height = 16, .black = solid}).c_str()),
            0);
  EXPECT_EQ(rec_->Calls()[0], FromHex("04 00 02 00"));
  EXPECT_EQ(rec_->Calls()[1], Bytes(64, 0xFF));
}

TEST_F(BitmapLogoTest, OnePixelPictures) {
  auto dot = [](int32_t, int32_t) { return true; };
  ASSERT_EQ(DownloadRamLogo(Write(TestBmp{.width = 1, .height = 1, .black = dot}).c_str(), 3), 0);
  Bytes want(32, 0);
  want[0] = 0x01;
  EXPECT_EQ(rec_->Calls()[1], FromHex("1D 2A 04 01"));
  EXPECT_EQ(rec_->Calls()[2], want);

  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  ASSERT_EQ(SendFlashLogoImage(Write(TestBmp{.width = 1, .height = 1}).c_str()), 0);
  EXPECT_EQ(rec_->Calls()[0], FromHex("04 00 01 00"));
  EXPECT_EQ(rec_->Calls()[1], Bytes(32, 0));
}

TEST_F(BitmapLogoTest, RamLimitsAndFlashWithout) {
  struct Case {
    int32_t w, h;
    bool ram_ok;
    const char* ram_header;
  };
  const Case cases[] = {
      {2016, 8, true, "1D 2A FC 01"},  {2017, 8, false, ""},
      {192, 304, true, "1D 2A 18 26"}, {192, 305, false, ""},
      {8, 384, true, "1D 2A 04 30"},   {8, 385, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const std::string path = Write(TestBmp{.width = c.w, .height = c.h, .black = Pattern});
    const Bytes columns = testing::ExpectedColumns(c.w, c.h, Pattern);

    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(DownloadRamLogo(path.c_str(), 1), c.ram_ok ? 0 : -1);
    auto calls = rec_->Calls();
    if (c.ram_ok) {
      ASSERT_EQ(calls.size(), 3u);
      EXPECT_EQ(calls[1], FromHex(c.ram_header));
      EXPECT_EQ(calls[2], columns);
    } else {
      ASSERT_EQ(calls.size(), 1u);  // only the selection went out
      EXPECT_EQ(calls[0], FromHex("1D 23 01"));
    }

    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(SendFlashLogoImage(path.c_str()), 0);
    calls = rec_->Calls();
    ASSERT_EQ(calls.size(), 2u);
    const int32_t s = ((c.w + 31) / 32) * 4, b = (c.h + 7) / 8;
    EXPECT_EQ(calls[0], (Bytes{static_cast<uint8_t>(s % 256), static_cast<uint8_t>(s / 256),
                               static_cast<uint8_t>(b % 256), static_cast<uint8_t>(b / 256)}));
    EXPECT_EQ(calls[1], columns);
  }
}

TEST_F(BitmapLogoTest, PaletteIsIgnoredSoWhiteFirstPrintsTheNegative) {
  const TestBmp normal{.width = 40, .height = 12, .black = Pattern};
  TestBmp swapped = normal;
  swapped.white_first = true;
  swapped.black = [](int32_t x, int32_t y) { return !Pattern(x, y); };
  // Same pixel bytes, different palette: the same logo.
  Bytes a = testing::MakeBmp(normal), b = testing::MakeBmp(swapped);
  ASSERT_TRUE(std::equal(a.begin() + 62, a.end(), b.begin() + 62));
  ASSERT_EQ(SendFlashLogoImage(Write(a, "a.bmp").c_str()), 0);
  ASSERT_EQ(SendFlashLogoImage(Write(b, "b.bmp").c_str()), 0);
  auto calls = rec_->Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1], testing::ExpectedColumns(40, 12, Pattern));
  EXPECT_EQ(calls[3], calls[1]);
}

TEST_F(BitmapLogoTest, ImageSizeZeroPrintsThePictureAreaBlack) {
  auto solid = [](int32_t, int32_t) { return true; };
  ASSERT_EQ(
      SendFlashLogoImage(
          Write(TestBmp{.width = 10, .height = 3, .image_size = 0, .black = nullptr}).c_str()),
      0);
  EXPECT_EQ(rec_->Calls()[1], testing::ExpectedColumns(10, 3, solid));
}

TEST_F(BitmapLogoTest, ImageSizeLargerThanTheBufferIsBounded) {
  Bytes file = testing::MakeBmp(
      TestBmp{.width = 100, .height = 65, .image_size = 0xFFFFFFFF, .black = Pattern});
  file.resize(file.size() + 5000, 0x00);  // trailing bytes beyond the picture
  ASSERT_EQ(SendFlashLogoImage(Write(file).c_str()), 0);
  EXPECT_EQ(rec_->Calls()[1], testing::ExpectedColumns(100, 65, Pattern));
}

TEST_F(BitmapLogoTest, ShortFilesReadAsZero) {
  const Bytes full = testing::MakeBmp(TestBmp{.width = 10, .height = 3, .black = Pattern});
  // Cut inside the image-size field: the size reads as zero and the picture is black.
  ASSERT_EQ(SendFlashLogoImage(Write(Bytes(full.begin(), full.begin() + 34)).c_str()), 0);
  EXPECT_EQ(rec_->Calls()[1],
            testing::ExpectedColumns(10, 3, [](int32_t, int32_t) { return true; }));
  // Cut before the bit depth: refused. So are the bare letters and an empty file.
  for (size_t n : {28u, 2u, 0u}) {
    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(SendFlashLogoImage(Write(Bytes(full.begin(), full.begin() + n)).c_str()), -1) << n;
    EXPECT_TRUE(rec_->Calls().empty());
  }
  // Pixel rows missing at the end stay zero, that is black after inversion.
  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  ASSERT_EQ(SendFlashLogoImage(Write(Bytes(full.begin(), full.end() - 4)).c_str()), 0);
  auto top_black = [](int32_t x, int32_t y) { return y == 0 || Pattern(x, y); };
  EXPECT_EQ(rec_->Calls()[1], testing::ExpectedColumns(10, 3, top_black));
}

TEST_F(BitmapLogoTest, RefusedFilesSendNoImageByte) {
  std::vector<std::pair<std::string, TestBmp>> refused = {
      {"4 bits", TestBmp{.width = 8, .height = 8, .bits_per_pixel = 4}},
      {"8 bits", TestBmp{.width = 8, .height = 8, .bits_per_pixel = 8}},
      {"24 bits", TestBmp{.width = 8, .height = 8, .bits_per_pixel = 24}},
      {"not BM", TestBmp{.width = 8, .height = 8, .type = 0x4142}},
      {"not BM, 8 bits", TestBmp{.width = 8, .height = 8, .type = 0, .bits_per_pixel = 8}},
      {"width 0", TestBmp{.width = 0, .height = 8}},
      {"negative width", TestBmp{.width = -8, .height = 8}},
      {"height 0", TestBmp{.width = 8, .height = 0}},
      {"top-down", TestBmp{.width = 8, .height = -8}},
      {"huge", TestBmp{.width = 0x7FFFFFFF, .height = 0x7FFFFFFF}},
      {"flash stride over 16 bits", TestBmp{.width = 1 << 21, .height = 1}},
      {"over 64 MiB", TestBmp{.width = 65532 * 8, .height = 8 * 140}},
  };
  for (auto& [what, bmp] : refused) {
    SCOPED_TRACE(what);
    Bytes file;
    if (bmp.width < 100000 && bmp.height < 100000) {
      file = testing::MakeBmp(bmp);
    } else {
      // Big pictures are refused from the header alone: no rows are written.
      file = testing::MakeBmp(TestBmp{.width = 8, .height = 8});
      for (int i = 0; i < 4; ++i) {
        file[18 + i] = static_cast<uint8_t>(static_cast<uint32_t>(bmp.width) >> (8 * i));
        file[22 + i] = static_cast<uint8_t>(static_cast<uint32_t>(bmp.height) >> (8 * i));
      }
    }
    const std::string path = Write(file);
    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(DownloadRamLogo(path.c_str(), 2), -1);
    EXPECT_EQ(rec_->Calls(), std::vector<Bytes>{FromHex("1D 23 02")});
    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    EXPECT_EQ(SendFlashLogoImage(path.c_str()), -1);
    EXPECT_TRUE(rec_->Calls().empty());
    EXPECT_EQ(Links().BusyTimeout.load(), kBusyTimeoutNormal);
  }
}

TEST_F(BitmapLogoTest, MissingFileFailsAfterTheSelection) {
  const std::string path = (dir_.path() / "absent.bmp").string();
  EXPECT_EQ(DownloadRamLogo(path.c_str(), 1), -1);
  EXPECT_EQ(rec_->Calls(), std::vector<Bytes>{FromHex("1D 23 01")});
  EXPECT_EQ(SendFlashLogoImage(path.c_str()), -1);
  EXPECT_EQ(DownloadRamLogo(dir_.path().c_str(), 1), -1);  // a folder is no picture
  EXPECT_EQ(DownloadRamLogo(nullptr, 1), -1);
  EXPECT_EQ(SendFlashLogoImage(nullptr), -1);
  EXPECT_EQ(rec_->Calls().size(), 3u);
  EXPECT_EQ(Links().BusyTimeout.load(), kBusyTimeoutNormal);
}

TEST_F(BitmapLogoTest, FailedSelectionStopsBeforeTheFile) {
  const std::string path = Write(TestBmp{.width = 8, .height = 8});
  FailAttempts({0});
  Links().BusyTimeout = 1234;  // untouched when the selection fails
  EXPECT_EQ(DownloadRamLogo(path.c_str(), 1), -1);
  EXPECT_TRUE(rec_->Calls().empty());
  EXPECT_EQ(Links().BusyTimeout.load(), 1234u);
}

TEST_F(BitmapLogoTest, FailedHeaderStillSendsTheImageAndFails) {
  const std::string path = Write(TestBmp{.width = 100, .height = 65, .black = Pattern});
  const Bytes columns = testing::ExpectedColumns(100, 65, Pattern);

  FailAttempts({1});
  EXPECT_EQ(DownloadRamLogo(path.c_str(), 1), -1);
  EXPECT_EQ(rec_->Calls(), (std::vector<Bytes>{FromHex("1D 23 01"), columns}));

  rec_ = testing::OpenRecordingLink(LinkKind::Serial);
  FailAttempts({0});
  EXPECT_EQ(SendFlashLogoImage(path.c_str()), -1);
  EXPECT_EQ(rec_->Calls(), std::vector<Bytes>{columns});

  for (size_t failing : {size_t{2}, size_t{1}}) {  // the image itself fails
    rec_ = testing::OpenRecordingLink(LinkKind::Serial);
    FailAttempts({failing});
    EXPECT_EQ(failing == 2 ? DownloadRamLogo(path.c_str(), 1) : SendFlashLogoImage(path.c_str()),
              -1);
    EXPECT_EQ(rec_->Calls().size(), failing);
    EXPECT_EQ(Links().BusyTimeout.load(), kBusyTimeoutNormal);
  }
}

TEST_F(BitmapLogoTest, BusyTimeoutIsRaisedDuringTheTransferOnly) {
  const std::string path = Write(TestBmp{.width = 64, .height = 16, .black = Pattern});
  auto seen = std::make_shared<std::vector<uint32_t>>();
  rec_->accept = [seen](size_t) {
    seen->push_back(Links().BusyTimeout.load());
    return true;
  };
  ASSERT_EQ(DownloadRamLogo(path.c_str(), 1), 0);
  ASSERT_EQ(SendFlashLogoImage(path.c_str()), 0);
  // Selection at the normal wait, then header and image of each download raised.
  EXPECT_EQ(*seen,
            (std::vector<uint32_t>{kBusyTimeoutNormal, kBusyTimeoutDownload, kBusyTimeoutDownload,
                                   kBusyTimeoutDownload, kBusyTimeoutDownload}));
  EXPECT_EQ(Links().BusyTimeout.load(), kBusyTimeoutNormal);
}

TEST_F(BitmapLogoTest, ConversionStepsRefuseBadArguments) {
  uint8_t buf[64] = {};
  BitmapInfo info{.width = 8, .height = 8};
  EXPECT_EQ(PrepareBitmapRows(nullptr, &info, 32, 8, buf), -1);
  EXPECT_EQ(PrepareBitmapRows(buf, nullptr, 32, 8, buf), -1);
  EXPECT_EQ(PrepareBitmapRows(buf, &info, 32, 8, nullptr), -1);
  EXPECT_EQ(PrepareBitmapRows(buf, &info, 30, 8, buf), -1);
  EXPECT_EQ(PrepareBitmapRows(buf, &info, 32, 12, buf), -1);
  // A picture larger than the buffers it is given is refused, not overrun.
  BitmapInfo wide{.width = 40, .height = 8};
  EXPECT_EQ(PrepareBitmapRows(buf, &wide, 32, 8, buf), -1);
  BitmapInfo tall{.width = 8, .height = 9};
  EXPECT_EQ(PrepareBitmapRows(buf, &tall, 32, 8, buf), -1);
  EXPECT_EQ(PrepareBitmapRows(buf, &info, 32, 8, buf), 0);
  EXPECT_EQ(RotateBitmapToColumns(nullptr, 32, 8, buf), -1);
  EXPECT_EQ(RotateBitmapToColumns(buf, 32, 7, buf + 32), -1);
  EXPECT_EQ(RotateBitmapToColumns(buf, 31, 8, buf + 32), -1);
  EXPECT_EQ(RotateBitmapToColumns(buf, 32, 8, nullptr), -1);
}

}  // namespace
}  // namespace tillvane
