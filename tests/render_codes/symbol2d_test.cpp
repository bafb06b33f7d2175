// Two-dimensional symbols as the virtual printer draws them: read back by zbar (QR) and
// zxing-cpp (the others) from the picture with data random from a seed, modules exact
// squares of dots, refusals of bad settings and data, and the size answer.
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include "render/barcode/symbol2d.h"

namespace tillvane::render {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(unsigned seed, std::size_t n, bool printable) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(printable ? 0x20 + rng() % 0x5F : rng() % 256);
  return b;
}

// The picture on white paper with `quiet` dots of margin, one byte a dot (0 black).
std::vector<std::uint8_t> OnPaper(const Symbol2dImage& img, int quiet, int* w, int* h) {
  *w = img.width + 2 * quiet;
  *h = img.height + 2 * quiet;
  std::vector<std::uint8_t> lum(static_cast<std::size_t>(*w) * static_cast<std::size_t>(*h), 255);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.dots[static_cast<std::size_t>(y) * img.width + x])
        lum[static_cast<std::size_t>(y + quiet) * *w + x + quiet] = 0;
  return lum;
}

// What zbarimg reads from the picture, as raw bytes; "" when it finds nothing.
std::string ZbarRead(const Symbol2dImage& img, int quiet) {
  char path[] = "/tmp/tillvane-symbol2d-XXXXXX.pgm";
  const int fd = mkstemps(path, 4);
  if (fd < 0) return "(no temporary file)";
  int w, h;
  const auto lum = OnPaper(img, quiet, &w, &h);
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  bool written = write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
                 write(fd, lum.data(), lum.size()) == static_cast<ssize_t>(lum.size());
  close(fd);
  std::string text;
  if (written) {
    const std::string cmd = std::string(TILLVANE_ZBARIMG) +
                            " --raw -q -Sdisable -Sqrcode.enable -Sbinary " + path + " 2>/dev/null";
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[4096];
      std::size_t n;
      while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
      pclose(p);
    }
  }
  unlink(path);
  return text;
}

std::string ZxingRead(const Symbol2dImage& img, int quiet, ZXing::BarcodeFormat format) {
  int w, h;
  const auto lum = OnPaper(img, quiet, &w, &h);
  ZXing::DecodeHints hints;
  hints.setFormats(format).setTryHarder(true);
  const ZXing::Result r = ZXing::ReadBarcode({lum.data(), w, h, ZXing::ImageFormat::Lum}, hints);
  if (!r.isValid()) return "";
  return {r.bytes().begin(), r.bytes().end()};
}

struct ReadCase {
  std::string name;
  std::function<void(Symbol2dRequest&)> set;
  std::size_t bytes;
  bool printable;               // data a symbology takes only as text
  int module;                   // dots a module is wide
  ZXing::BarcodeFormat format;  // None: QR through zbar
};

TEST(Symbol2d, EverySymbolReadsBackAsItsData) {
  std::vector<ReadCase> cases;
  for (int module = 3; module <= 8; ++module)
    for (int level = 48; level <= 51; ++level)
      cases.push_back({"QR module " + std::to_string(module) + " level " + std::to_string(level),
                       [=](Symbol2dRequest& r) {
                         r.kind = Symbol2dKind::kQr;
                         r.qr = {50, module, level};
                       },
                       static_cast<std::size_t>(20 + 13 * module + level % 4 * 30), false, module,
                       ZXing::BarcodeFormat::None});
  auto pdf = [](Pdf417Settings s) {
    return [=](Symbol2dRequest& r) {
      r.kind = Symbol2dKind::kPdf417;
      r.pdf417 = s;
    };
  };
  auto dm = [](DataMatrixSettings s) {
    return [=](Symbol2dRequest& r) {
      r.kind = Symbol2dKind::kDataMatrix;
      r.dataMatrix = s;
    };
  };
  auto aztec = [](AztecSettings s) {
    return [=](Symbol2dRequest& r) {
      r.kind = Symbol2dKind::kAztec;
      r.aztec = s;
    };
  };
  using F = ZXing::BarcodeFormat;
  cases.insert(
      cases.end(),
      {
          {"micro QR",
           [](Symbol2dRequest& r) {
             r.qr = {51, 6, 49};
           },
           8, true, 6, F::MicroQRCode},
          {"PDF417 automatic", pdf({0, 0, 3, 3, 48, 49, 0}), 60, false, 3, F::PDF417},
          {"PDF417 4 columns level 5", pdf({4, 0, 2, 4, 48, 53, 0}), 150, false, 2, F::PDF417},
          {"PDF417 12 rows by ratio", pdf({0, 12, 3, 3, 49, 20, 0}), 90, false, 3, F::PDF417},
          {"DataMatrix square", dm({0, 0, 0, 4}), 40, false, 4, F::DataMatrix},
          {"DataMatrix 26 x 26", dm({0, 26, 26, 3}), 20, false, 3, F::DataMatrix},
          {"DataMatrix rectangle", dm({1, 0, 0, 5}), 10, true, 5, F::DataMatrix},
          {"DataMatrix 16 x 48", dm({1, 48, 16, 3}), 30, true, 3, F::DataMatrix},
          {"Aztec automatic", aztec({0, 0, 4, 23}), 50, false, 4, F::Aztec},
          {"Aztec compact 3 layers", aztec({1, 3, 3, 23}), 20, false, 3, F::Aztec},
          {"Aztec full 8 layers", aztec({0, 8, 3, 50}), 120, false, 3, F::Aztec},
      });

  unsigned seed = 2026;
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes data = RandomBytes(++seed, c.bytes, c.printable);
    Symbol2dRequest request;
    c.set(request);
    request.data = data;
    const Symbol2dImage img = RenderSymbol2d(request);
    ASSERT_TRUE(img.ok) << img.error;
    ASSERT_EQ(img.dots.size(), static_cast<std::size_t>(img.width) * img.height);
    EXPECT_EQ(img.width, img.modulesWide * c.module);
    if (request.kind != Symbol2dKind::kPdf417) {
      EXPECT_EQ(img.height, img.modulesHigh * c.module);
    }
    const std::string want(data.begin(), data.end());
    const std::string read =
        c.format == F::None ? ZbarRead(img, 4 * c.module) : ZxingRead(img, 4 * c.module, c.format);
    EXPECT_EQ(read, want);
  }
}

TEST(Symbol2d, Pdf417RowsAndTruncation) {
  const Bytes data = RandomBytes(7, 80, false);
  Symbol2dRequest r;
  r.kind = Symbol2dKind::kPdf417;
  r.pdf417 = {3, 0, 2, 5, 48, 50, 0};
  r.data = data;
  const Symbol2dImage standard = RenderSymbol2d(r);
  ASSERT_TRUE(standard.ok) << standard.error;
  // A row is module width × row height dots high; three data columns between the start,
  // left, right and stop patterns (17 + 17 + 3 × 17 + 17 + 18 modules).
  EXPECT_EQ(standard.height, standard.modulesHigh * 2 * 5);
  EXPECT_EQ(standard.modulesWide, 17 * (3 + 3) + 18);
  r.pdf417.options = 1;
  const Symbol2dImage truncated = RenderSymbol2d(r);
  ASSERT_TRUE(truncated.ok) << truncated.error;
  EXPECT_EQ(truncated.height, standard.height);
  EXPECT_LT(truncated.width, standard.width);
}

TEST(Symbol2d, MaxiCodeAndDataBarDrawAtTheirOwnSizes) {
  const std::string text = "Tillvane MaxiCode 12345";
  Symbol2dRequest r;
  r.kind = Symbol2dKind::kMaxiCode;
  r.maxiCode.mode = 52;
  r.data = {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
  const Symbol2dImage maxi = RenderSymbol2d(r);
  ASSERT_TRUE(maxi.ok) << maxi.error;
  // About 28 mm at 180 dots an inch; zint's hexagons come in whole pixels, 209 dots here.
  EXPECT_NEAR(maxi.width, 199, 12);
  EXPECT_EQ(ZxingRead(maxi, 20, ZXing::BarcodeFormat::MaxiCode), text);

  struct Bar {
    std::uint8_t type;
    std::string data;
    std::string read;  // what a reader gives back
    int rows;          // rows of modules zint draws
  };
  const Bar bars[] = {
      {kDataBarOmni, "0950110153000", "09501101530003", 1},
      {kDataBarTruncated, "0950110153000", "", 1},
      {kDataBarStacked, "0950110153000", "", 3},
      {kDataBarStackedOmni, "0950110153000", "", 5},
      {kDataBarLimited, "1501234567890", "", 1},
      {kDataBarExpanded, "(01)98898765432106(3202)012345", "(01)98898765432106(3202)012345", 1},
      {kDataBarExpandedStacked, "[01]98898765432106[3202]012345[15]991231", "", 0},
  };
  for (const Bar& b : bars) {
    SCOPED_TRACE(b.type);
    Bytes stored = {b.type};
    stored.insert(stored.end(), b.data.begin(), b.data.end());
    Symbol2dRequest d;
    d.kind = Symbol2dKind::kDataBar;
    d.dataBar.moduleWidth = 2;
    d.data = stored;
    d.lineWidth = 512;
    const Symbol2dImage img = RenderSymbol2d(d);
    ASSERT_TRUE(img.ok) << img.error;
    EXPECT_EQ(img.width, img.modulesWide * 2);
    EXPECT_LE(img.width, 512);
    if (b.rows) {
      EXPECT_EQ(img.modulesHigh, b.rows);
    }
    if (b.type == kDataBarTruncated) {
      EXPECT_EQ(img.height, 13 * 2);
    }
    if (!b.read.empty()) {
      const auto format = b.type == kDataBarOmni ? ZXing::BarcodeFormat::DataBar
                                                 : ZXing::BarcodeFormat::DataBarExpanded;
      std::string read = ZxingRead(img, 20, format);
      EXPECT_EQ(read, b.read);
    }
  }
}

TEST(Symbol2d, RefusesWhatItCannotDraw) {
  const Bytes some = {'1', '2', '3'};
  const Bytes big = RandomBytes(3, 3000, false);
  const Bytes letters = {'A', 'B', 'C'};
  struct Bad {
    std::function<void(Symbol2dRequest&)> set;
    std::string error;  // a part of the reason
  };
  const Bad cases[] = {
      {[](Symbol2dRequest& r) { r.data = {}; }, "no data"},
      {[](Symbol2dRequest& r) { r.qr.model = 49; }, "model 1"},
      {[](Symbol2dRequest& r) { r.qr.model = 52; }, "QR model 52"},
      {[](Symbol2dRequest& r) { r.qr.moduleSize = 0; }, "module size 0"},
      {[](Symbol2dRequest& r) { r.qr.moduleSize = 17; }, "module size 17"},
      {[](Symbol2dRequest& r) { r.qr.errorLevel = 52; }, "level 52"},
      {[](Symbol2dRequest& r) {
         r.qr = {51, 3, 51};
       },
       "micro QR has no"},
      {[&](Symbol2dRequest& r) {
         r.qr = {51, 3, 48}, r.data = big;
       },
       "micro QR:"},
      {[&](Symbol2dRequest& r) { r.qr.errorLevel = 51, r.data = big; }, "QR:"},
      {[](Symbol2dRequest& r) { r.qr.moduleSize = 16, r.lineWidth = 300; }, "336 dots wide"},
      {[](Symbol2dRequest& r) { r.kind = static_cast<Symbol2dKind>(52); }, "type 52"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.columns = 31; },
       "columns 31"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.rows = 2; }, "rows 2"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.moduleWidth = 9; },
       "module width 9"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.rowHeight = 1; },
       "row height 1"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.errorValue = 57; },
       "level 57"},
      {[](Symbol2dRequest& r) {
         r.kind = Symbol2dKind::kPdf417, r.pdf417.errorMode = 49, r.pdf417.errorValue = 41;
       },
       "ratio 41"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kPdf417, r.pdf417.options = 2; },
       "option 2"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kDataMatrix, r.dataMatrix.shape = 2; },
       "shape 2"},
      {[](Symbol2dRequest& r) {
         r.kind = Symbol2dKind::kDataMatrix, r.dataMatrix.rows = 12, r.dataMatrix.columns = 14;
       },
       "no square of 12 × 14"},
      {[&](Symbol2dRequest& r) {
         r.kind = Symbol2dKind::kDataMatrix, r.dataMatrix.shape = 1, r.data = big;
       },
       "DataMatrix:"},
      {[](Symbol2dRequest& r) {
         r.kind = Symbol2dKind::kAztec, r.aztec.mode = 1, r.aztec.layers = 5;
       },
       "layers 5"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kAztec, r.aztec.errorPercent = 96; },
       "correction 96"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kMaxiCode, r.maxiCode.mode = 55; },
       "mode 55"},
      {[](Symbol2dRequest& r) { r.kind = Symbol2dKind::kMaxiCode, r.maxiCode.mode = 50; },
       "structured carrier"},
      {[&](Symbol2dRequest& r) { r.kind = Symbol2dKind::kDataBar, r.data = letters; },
       "DataBar type 65"},
      {[&](Symbol2dRequest& r) { r.kind = Symbol2dKind::kDataBar, r.dataBar.moduleWidth = 1; },
       "module width 1"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.error);
    Symbol2dRequest r;
    r.data = some;
    c.set(r);
    const Symbol2dImage img = RenderSymbol2d(r);
    EXPECT_FALSE(img.ok);
    EXPECT_TRUE(img.dots.empty());
    EXPECT_NE(img.error.find(c.error), std::string::npos) << img.error;
  }
  // DataBar letters where digits belong: zint's reason, not a picture.
  const Bytes omniLetters = {kDataBarOmni, 'A', 'B'};
  Symbol2dRequest r;
  r.kind = Symbol2dKind::kDataBar;
  r.data = omniLetters;
  EXPECT_FALSE(RenderSymbol2d(r).ok);
}

TEST(Symbol2d, SizeAnswerSaysWidthHeightAndWhetherItPrints) {
  const Bytes data = {'T', 'i', 'l', 'l'};
  Symbol2dRequest r;
  r.qr = {50, 4, 48};
  r.data = data;
  const Symbol2dImage fits = RenderSymbol2d(r);  // version 1: 21 modules
  ASSERT_TRUE(fits.ok) << fits.error;
  const Bytes want = {0x37, 0x76, '8', '4', 0x1F, '8', '4', 0x1F, '0', 0x00};
  EXPECT_EQ(Symbol2dSizeAnswer(fits), want);
  r.lineWidth = 80;
  const Bytes tooWide = {0x37, 0x76, '8', '4', 0x1F, '8', '4', 0x1F, '1', 0x00};
  EXPECT_EQ(Symbol2dSizeAnswer(RenderSymbol2d(r)), tooWide);
  r.qr.moduleSize = 0;
  const Bytes none = {0x37, 0x76, '0', 0x1F, '0', 0x1F, '1', 0x00};
  EXPECT_EQ(Symbol2dSizeAnswer(RenderSymbol2d(r)), none);
}

}  // namespace
}  // namespace tillvane::render
