// The two receipts with 2-D symbols (tests/golden/QrReceipt.bin, Pdf417Receipt.bin), as
// tillvane-render draws them, against their golden pictures dot for dot, and their symbols
// read back from the picture. TILLVANE_UPDATE_GOLDEN=1 rewrites the streams and pictures
// after a deliberate change; look at them before committing.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include "render/cli/render_cli.h"
#include "render/png_file.h"
#include "tests/render/render_support.h"
#include "tests/render_2d/symbol_bytes.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;

struct Receipt {
  const char* name;
  testing::Bytes (*bytes)(int paper);
  std::string data;  // what its symbol holds
  ZXing::BarcodeFormat format;
};

std::string Read(const fs::path& png, const Bitmap& dots, ZXing::BarcodeFormat format) {
  if (format == ZXing::BarcodeFormat::QRCode) {
    const std::string cmd =
        "zbarimg --raw -q -Sdisable -Sqrcode.enable " + png.string() + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::string text;
    char buf[512];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;)
      text.append(buf, n);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  std::vector<uint8_t> lum(static_cast<size_t>(dots.width()) * static_cast<size_t>(dots.height()));
  for (int y = 0; y < dots.height(); ++y)
    for (int x = 0; x < dots.width(); ++x)
      lum[static_cast<size_t>(y) * static_cast<size_t>(dots.width()) + x] =
          dots.Get(x, y) ? 0 : 255;
  ZXing::DecodeHints hints;
  hints.setFormats(format).setTryHarder(true);
  const ZXing::Result r =
      ZXing::ReadBarcode({lum.data(), dots.width(), dots.height(), ZXing::ImageFormat::Lum}, hints);
  return r.isValid() ? std::string(r.bytes().begin(), r.bytes().end()) : std::string();
}

TEST(SymbolReceipts, MatchTheirGoldenPicturesAndReadBack) {
  const Receipt receipts[] = {
      {"QrReceipt", testing::QrReceipt,
       "https://receipts.tillvane.example/r/2026-12-09/000417?c=7F3A",
       ZXing::BarcodeFormat::QRCode},
      {"Pdf417Receipt", testing::Pdf417Receipt,
       "M1TILLVANE/ANNA       EK7QW2 HELARNTV 2417 343Y014C0091 100", ZXing::BarcodeFormat::PDF417},
  };
  const char* update = std::getenv("TILLVANE_UPDATE_GOLDEN");
  const bool rewrite = update && std::string(update) == "1";
  tillvane::testing::ScopedTempDir dir;
  for (const Receipt& r : receipts) {
    SCOPED_TRACE(r.name);
    const fs::path stream = tillvane::testing::GoldenDir() / (std::string(r.name) + ".bin");
    const fs::path golden =
        tillvane::testing::GoldenDir() / "render" / (std::string(r.name) + ".png");
    const testing::Bytes bytes = r.bytes(kDots80mm);
    if (rewrite) tillvane::testing::WriteFileBytes(stream, bytes);
    EXPECT_EQ(tillvane::testing::ReadFileBytes(stream), bytes);

    // Every command known and drawn.
    const auto rendered = testing::Render(bytes);
    EXPECT_EQ(rendered.report.unknown_bytes, 0u);
    EXPECT_EQ(rendered.report.refused, 0u) << ::testing::PrintToString(rendered.report.notes);
    EXPECT_EQ(rendered.report.not_drawn, 0u);

    const fs::path png = dir.path() / (std::string(r.name) + ".png");
    const std::string out = png.string(), in = stream.string();
    const char* argv[] = {"tillvane-render", "--no-flash-store", "-o", out.c_str(), in.c_str()};
    std::FILE* sink = std::tmpfile();
    ASSERT_EQ(RunRenderCommand(5, argv, sink, sink), 0);
    std::fclose(sink);
    if (rewrite) fs::copy_file(png, golden, fs::copy_options::overwrite_existing);
    std::string error;
    const auto drawn = ReadPng(png, &error);
    ASSERT_TRUE(drawn) << error;
    const auto expected = ReadPng(golden, &error);
    ASSERT_TRUE(expected) << error;
    ASSERT_EQ(drawn->width(), expected->width());
    ASSERT_EQ(drawn->height(), expected->height());
    int differing = 0;
    for (int y = 0; y < drawn->height(); ++y)
      for (int x = 0; x < drawn->width(); ++x) differing += drawn->Get(x, y) != expected->Get(x, y);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(Read(png, *drawn, r.format), r.data);
  }
}

}  // namespace
}  // namespace tillvane::render
