// The four logo pictures shipped beside the program, against their golden column
// images. TILLVANE_UPDATE_GOLDEN=1 rewrites the golden files after a deliberate change
// of the pictures.
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
namespace fs = std::filesystem;

struct Shipped {
  const char* file;
  int32_t width, height;
  const char* flash_header;
};

constexpr Shipped kLogos[] = {
    {"Horse.bmp", 100, 65, "10 00 09 00"},
    {"Lion.bmp", 123, 140, "10 00 12 00"},
    {"Map.bmp", 185, 121, "18 00 10 00"},
    {"Dragon.bmp", 140, 210, "14 00 1B 00"},
};

fs::path DataFile(const char* name) {
  return fs::path(TILLVANE_SOURCE_DIR) / "data" / name;
}

class ShippedLogoTest : public ::testing::TestWithParam<Shipped> {
 protected:
  void TearDown() override { ResetLinkState(); }
};

TEST_P(ShippedLogoTest, FileIsAMonochromeBitmapInTheExpectedLayout) {
  const Shipped& s = GetParam();
  const Bytes file = testing::ReadFileBytes(DataFile(s.file));
  const int64_t stride = ((s.width + 31) / 32) * 4;
  ASSERT_EQ(file.size(), static_cast<size_t>(62 + stride * s.height));
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                 file[at + 3] << 24);
  };
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(u32(10), 62u);
  EXPECT_EQ(u32(18), static_cast<uint32_t>(s.width));
  EXPECT_EQ(u32(22), static_cast<uint32_t>(s.height));
  EXPECT_EQ(file[28], 1);
  EXPECT_EQ(u32(34), static_cast<uint32_t>(stride * s.height));
  EXPECT_EQ(u32(54), 0x00000000u);  // index 0 black
  EXPECT_EQ(u32(58), 0x00FFFFFFu);  // index 1 white
}

TEST_P(ShippedLogoTest, ColumnImageMatchesTheGoldenFile) {
  const Shipped& s = GetParam();
  auto rec = testing::OpenRecordingLink(LinkKind::Serial);
  ASSERT_EQ(SendFlashLogoImage(DataFile(s.file).c_str()), 0);
  auto calls = rec->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], FromHex(s.flash_header));

  const fs::path golden = testing::GoldenDir() / "logos" / (std::string(s.file) + ".columns");
  if (const char* u = std::getenv("TILLVANE_UPDATE_GOLDEN"); u && std::string(u) == "1") {
    fs::create_directories(golden.parent_path());
    testing::WriteFileBytes(golden, calls[1]);
  }
  EXPECT_EQ(calls[1], testing::ReadFileBytes(golden));
  // The golden image is the picture itself: decode the rows independently.
  const Bytes file = testing::ReadFileBytes(DataFile(s.file));
  const size_t stride = static_cast<size_t>((s.width + 31) / 32) * 4;
  auto black = [&](int32_t x, int32_t y) {
    const size_t row = static_cast<size_t>(s.height - 1 - y);
    return (file.at(62 + row * stride + static_cast<size_t>(x) / 8) & (0x80 >> (x % 8))) == 0;
  };
  EXPECT_EQ(calls[1], testing::ExpectedColumns(s.width, s.height, black));
  // A picture, not a blank or solid sheet.
  size_t dots = 0;
  for (uint8_t b : calls[1]) dots += static_cast<size_t>(__builtin_popcount(b));
  const size_t area = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
  EXPECT_GT(dots, area / 10);
  EXPECT_LT(dots, area * 9 / 10);
}

TEST(ShippedRamLogos, TheThreeRamPicturesFitTheRamLimits) {
  const char* headers[] = {"1D 2A 10 09", "1D 2A 10 12", "1D 2A 18 10"};
  for (int i = 0; i < 3; ++i) {
    auto rec = testing::OpenRecordingLink(LinkKind::Serial);
    ASSERT_EQ(DownloadRamLogo(DataFile(kLogos[i].file).c_str(), static_cast<uint8_t>(i + 1)), 0);
    auto calls = rec->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], (Bytes{0x1D, 0x23, static_cast<uint8_t>(i + 1)}));
    EXPECT_EQ(calls[1], FromHex(headers[i]));
  }
  ResetLinkState();
}

INSTANTIATE_TEST_SUITE_P(Logos, ShippedLogoTest, ::testing::ValuesIn(kLogos),
                         [](const auto& param_info) {
                           std::string n = param_info.param.file;
                           return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace tillvane
