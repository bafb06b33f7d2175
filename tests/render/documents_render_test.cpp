// The sixteen sample documents as the virtual printer prints them, the logos downloaded
// first, against golden pictures (tests/golden/render/*.png) dot for dot.
// TILLVANE_UPDATE_GOLDEN=1 rewrites the pictures after a deliberate change; look at them
// before committing.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "render/png_file.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

bool UpdateGolden() {
  const char* u = std::getenv("TILLVANE_UPDATE_GOLDEN");
  return u && std::string(u) == "1";
}

class DocumentRenderTest : public ::testing::TestWithParam<testing::SampleDocument> {
 protected:
  tillvane::testing::ScopedTempDir dir_;
};

TEST_P(DocumentRenderTest, MatchesItsGoldenPicture) {
  const testing::SampleDocument& d = GetParam();
  const Bytes bytes = testing::Cat({testing::LogoDownloadBytes(), testing::DocumentBytes(d)});
  const auto r = testing::Render(bytes, d.narrow ? kDotsNarrow : kDots80mm);

  // Every byte is a command the printer knows, every page area fits the paper, every
  // logo and bar code the document prints is drawn.
  EXPECT_EQ(r.report.unknown_bytes, 0u);
  EXPECT_EQ(r.report.refused, 0u) << ::testing::PrintToString(r.report.notes);
  ASSERT_FALSE(r.pages.empty());
  for (const Page& p : r.pages) EXPECT_EQ(p.cut, Cut::kFull) << d.name;
  const Bitmap roll = r.Roll();

  const fs::path golden = fs::path(TILLVANE_SOURCE_DIR) / "tests" / "golden" / "render" /
                          (std::string(d.name) + ".png");
  std::string error;
  if (UpdateGolden()) {
    fs::create_directories(golden.parent_path());
    ASSERT_TRUE(WritePng(golden, roll, &error)) << error;
  }
  const auto expected = ReadPng(golden, &error);
  ASSERT_TRUE(expected) << error;
  ASSERT_EQ(expected->width(), roll.width());
  ASSERT_EQ(expected->height(), roll.height());
  int differing = 0, first_x = -1, first_y = -1;
  for (int y = 0; y < roll.height(); ++y)
    for (int x = 0; x < roll.width(); ++x)
      if (expected->Get(x, y) != roll.Get(x, y) && differing++ == 0) {
        first_x = x;
        first_y = y;
      }
  EXPECT_EQ(differing, 0) << d.name << ": first differing dot at " << first_x << ", " << first_y;
}

// zbarimg reads the printed page: each bar code of the document decodes to the data the
// document sent (Code 128 as the text before the builder's minus-0x20 step).
TEST_P(DocumentRenderTest, BarCodesReadBackFromThePrintedPage) {
  const testing::SampleDocument& d = GetParam();
  std::string name = d.name;
  if (name.size() > 2 && name.compare(name.size() - 2, 2, "56") == 0) name.resize(name.size() - 2);
  const std::string expected = name == "FontBarcodeTicket"    ? "286823456\n"
                               : name == "TwoPartTicket"      ? "CODE128\n"
                               : name == "CleanReceiptTicket" ? "123456789\n"
                                                              : "";
  const Bytes bytes = testing::Cat({testing::LogoDownloadBytes(), testing::DocumentBytes(d)});
  const auto r = testing::Render(bytes, d.narrow ? kDotsNarrow : kDots80mm);
  // Page by page: the two-part receipt carries its bar code on the customer copy only.
  std::string read;
  for (size_t i = 0; i < r.pages.size(); ++i) {
    const fs::path png = dir_.path() / ("page-" + std::to_string(i) + ".png");
    std::string error;
    ASSERT_TRUE(WritePng(png, r.pages[i].dots, &error)) << error;
    const std::string cmd = "zbarimg -q --raw " + png.string() + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    char buf[256];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;) read.append(buf, n);
  }
  EXPECT_EQ(read, expected) << d.name;
}

INSTANTIATE_TEST_SUITE_P(All, DocumentRenderTest, ::testing::ValuesIn(testing::SampleDocuments()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tillvane::render
