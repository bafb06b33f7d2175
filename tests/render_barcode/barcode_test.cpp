// Bar codes as the virtual printer draws them: every symbology read back by zbar from the
// picture, element widths and heights exact in dots, the human-readable text, the bar
// codes of the sample documents, and refusals of bad data.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "render/barcode/barcode.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

BarcodeImage Render(int m, const std::string& data, int module = 3, int height = 80) {
  BarcodeRequest request;
  request.m = m;
  request.data = Span(data);
  request.module = module;
  request.height = height;
  return RenderBarcode(request);
}

// What zbarimg reads from the picture, printed on white paper with a margin of
// `quiet` dots on every side (the printer's paper around the symbol). "" when it finds
// no bar code.
std::string Scan(const BarcodeImage& img, int quiet) {
  char path[] = "/tmp/tillvane-barcode-XXXXXX.pbm";
  const int fd = mkstemps(path, 4);
  if (fd < 0) return "(no temporary file)";
  close(fd);
  const int w = img.width + 2 * quiet, h = img.height + 2 * quiet;
  {
    std::ofstream out(path, std::ios::binary);
    out << "P4\n" << w << ' ' << h << '\n';
    std::vector<std::uint8_t> row(static_cast<std::size_t>((w + 7) / 8));
    for (int y = 0; y < h; ++y) {
      std::fill(row.begin(), row.end(), 0);
      const int iy = y - quiet;
      if (iy >= 0 && iy < img.height)
        for (int x = 0; x < img.width; ++x)
          if (img.dots[static_cast<std::size_t>(iy * img.width + x)])
            row[static_cast<std::size_t>((x + quiet) / 8)] |= 0x80 >> ((x + quiet) % 8);
      out.write(reinterpret_cast<const char*>(row.data()),
                static_cast<std::streamsize>(row.size()));
    }
  }
  // UPC-A and UPC-E as themselves rather than as the EAN-13 they also are; ITF of any
  // even length.
  const std::string cmd = std::string(TILLVANE_ZBARIMG) +
                          " --raw -q -Supca.enable -Supce.enable -Si25.min-length=2 " + path +
                          " 2>/dev/null";
  std::string text;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    pclose(p);
  }
  unlink(path);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The element widths of the picture's first row, after checking that every row is the
// same, bars first.
std::vector<int> Elements(const BarcodeImage& img) {
  std::vector<int> runs;
  EXPECT_EQ(img.dots.size(), static_cast<std::size_t>(img.width) * img.height);
  if (img.dots.size() != static_cast<std::size_t>(img.width) * img.height || img.width == 0)
    return runs;
  for (int y = 1; y < img.height; ++y)
    if (!std::equal(img.dots.begin(), img.dots.begin() + img.width,
                    img.dots.begin() + static_cast<std::ptrdiff_t>(y) * img.width)) {
      ADD_FAILURE() << "row " << y << " differs from row 0";
      break;
    }
  EXPECT_EQ(img.dots[0], 1) << "the symbol starts with a bar";
  EXPECT_EQ(img.dots[static_cast<std::size_t>(img.width - 1)], 1) << "and ends with one";
  for (int x = 0; x < img.width; ++x) {
    if (x == 0 ||
        img.dots[static_cast<std::size_t>(x)] != img.dots[static_cast<std::size_t>(x - 1)])
      runs.push_back(0);
    ++runs.back();
  }
  return runs;
}

struct Case {
  int m;
  std::string data;
  std::string scanned;  // what a scanner reads
  std::string hri;
  int modules;  // whole-module symbols: width in modules; two-width ones: 0
};

// Width in dots of a two-width symbol from its narrow (n) and wide (w) element counts.
int TwoWidth(int narrow, int wide, int n) {
  return narrow * n + wide * ((5 * n + 1) / 2);
}

TEST(Barcode, EverySymbologyScansAsItsDataAtExactWidths) {
  const std::vector<Case> cases = {
      // Check digits computed from 11/12/7 digits, or given and right.
      {65, "03600029145", "036000291452", "036000291452", 95},
      {0, "036000291452", "036000291452", "036000291452", 95},
      {67, "400638133393", "4006381333931", "4006381333931", 95},
      {2, "4006381333931", "4006381333931", "4006381333931", 95},
      {68, "9638507", "96385074", "96385074", 67},
      {3, "96385074", "96385074", "96385074", 67},
      // UPC-E from six digits, with the number system, with the check, and from the UPC-A
      // number 0 42100 00526 it is the zero-suppressed form of.
      {66, "425261", "04252614", "04252614", 51},
      {66, "0425261", "04252614", "04252614", 51},
      {1, "04252614", "04252614", "04252614", 51},
      {66, "04210000526", "04252614", "04252614", 51},
      // The other zero-suppression rules: manufacturer ending 00 (last digit 3), ending 0
      // (last digit 4), and product 0000x with x ≥ 5 (last digit x).
      {66, "012300000451", "01234531", "01234531", 51},
      {66, "01234000005", "01234543", "01234543", 51},
      {66, "012345000072", "01234572", "01234572", 51},
      {69, "CODE-39 $/+%.", "CODE-39 $/+%.", "*CODE-39 $/+%.*", 0},
      {4, "*AB12*", "AB12", "*AB12*", 0},
      {70, "12", "12", "12", 0},
      {5, "0123456789", "0123456789", "0123456789", 0},
      {71, "A40156B", "A40156B", "A40156B", 0},
      {6, "c1-2$3:4/5.6+7d", "C1-2$3:4/5.6+7D", "c1-2$3:4/5.6+7d", 0},
      {72, "286823456", "286823456", "286823456", 9 * (9 + 4) + 1},
      {72, "CODE93", "CODE93", "CODE93", 9 * (6 + 4) + 1},
      {72, "a\tz", "a\tz", "a z", 9 * (6 + 4) + 1},  // full ASCII: two symbols a character
      // Code 128 in both forms: Tillvane's symbol values and other software's characters.
      {73, "{A\x23\x2F\x24\x25\x11\x12\x18", "CODE128", "CODE128", 11 * 9 + 13},
      {73, "{ACODE128", "CODE128", "CODE128", 11 * 9 + 13},
      {73, "{BHello, world", "Hello, world", "Hello, world", 11 * 14 + 13},
      {73, "{C\x0C\x22\x38\x4E", "12345678", "12345678", 11 * 6 + 13},
      {73, "{BNo.{C\x12\x22{Bx", "No.1834x", "No.1834x", 11 * 10 + 13},
  };
  for (const Case& c : cases) {
    for (int n : {2, 3}) {
      SCOPED_TRACE(std::to_string(c.m) + " " + c.data + " module " + std::to_string(n));
      const BarcodeImage img = Render(c.m, c.data, n, 60 + 20 * n);
      ASSERT_TRUE(img.ok) << img.error;
      EXPECT_TRUE(img.error.empty());
      EXPECT_EQ(img.height, 60 + 20 * n);
      EXPECT_EQ(img.hriText, c.hri);
      const std::vector<int> runs = Elements(img);
      if (c.modules > 0) {
        EXPECT_EQ(img.width, c.modules * n);
        for (int r : runs) EXPECT_TRUE(r % n == 0 && r >= n && r <= 4 * n) << r;
      } else {
        int narrow = 0, wide = 0;
        for (int r : runs) {
          EXPECT_TRUE(r == n || r == (5 * n + 1) / 2) << r;
          (r == n ? narrow : wide)++;
        }
        EXPECT_EQ(img.width, TwoWidth(narrow, wide, n));
      }
      EXPECT_EQ(Scan(img, 12 * n), c.scanned);
    }
  }
}

TEST(Barcode, TwoWidthSymbolsHaveTheirNarrowAndWideCounts) {
  // CODE39: each character 3 wide and 6 narrow elements, narrow gaps between characters.
  const BarcodeImage c39 = Render(69, "AB1", 2);  // "*AB1*": 5 characters
  ASSERT_TRUE(c39.ok) << c39.error;
  EXPECT_EQ(c39.width, TwoWidth(5 * 6 + 4, 5 * 3, 2));
  // ITF: start (4 narrow), each digit pair 2 wide and 3 narrow bars and spaces, stop (a
  // wide bar and two narrow elements).
  const BarcodeImage itf = Render(70, "123456", 3);
  ASSERT_TRUE(itf.ok) << itf.error;
  EXPECT_EQ(itf.width, TwoWidth(4 + 3 * 6 + 2, 3 * 4 + 1, 3));
  // CODABAR: digits have 2 wide elements of 7, start/stop A-D 3; narrow gaps between.
  const BarcodeImage cb = Render(71, "A12B", 4);
  ASSERT_TRUE(cb.ok) << cb.error;
  EXPECT_EQ(cb.width, TwoWidth(2 * 4 + 2 * 5 + 3, 2 * 3 + 2 * 2, 4));
  // The wide element at every module width: 2.5 narrow ones, rounded up.
  for (auto [n, w] : {std::pair{1, 3}, {2, 5}, {3, 8}, {4, 10}, {5, 13}, {6, 15}}) {
    const BarcodeImage img = Render(70, "00", n);
    ASSERT_TRUE(img.ok);
    const std::vector<int> runs = Elements(img);
    EXPECT_EQ(*std::max_element(runs.begin(), runs.end()), w) << n;
    EXPECT_EQ(*std::min_element(runs.begin(), runs.end()), n) << n;
  }
}

TEST(Barcode, ModuleAndHeightLimits) {
  const BarcodeImage one = Render(67, "4006381333931", 1, 1);
  ASSERT_TRUE(one.ok) << one.error;
  EXPECT_EQ(one.width, 95);
  EXPECT_EQ(one.height, 1);
  const BarcodeImage big = Render(73, "{C\x01", 6, 255);
  ASSERT_TRUE(big.ok) << big.error;
  EXPECT_EQ(big.width, (11 * 3 + 13) * 6);
  EXPECT_EQ(big.height, 255);
  EXPECT_EQ(big.dots.size(), static_cast<std::size_t>(big.width) * 255);
  // The longest data: 255 bytes.
  const BarcodeImage longest = Render(73, "{B" + std::string(253, 'x'), 1, 1);
  ASSERT_TRUE(longest.ok) << longest.error;
  EXPECT_EQ(longest.width, 11 * 255 + 13);
  EXPECT_EQ(longest.hriText, std::string(253, 'x'));
}

TEST(Barcode, RefusesBadDataWithAReason) {
  const std::vector<std::tuple<int, std::string, const char*>> cases = {
      {65, "1234567890", "11 or 12 digits"},
      {65, "0360002914X2", "11 or 12 digits"},
      {65, "036000291453", "check digit is 3, it must be 2"},
      {67, "40063813339", "12 or 13 digits"},
      {2, "4006381333932", "check digit"},
      {68, "963850", "7 or 8 digits"},
      {3, "96385075", "check digit"},
      {66, "12345", "6, 7, 8, 11 or 12"},
      {66, "1425261", "number system must be 0"},
      {66, "04252615", "check digit is 5, it must be 4"},
      {66, "01234567890", "no zero-suppressed form"},
      {66, "04x5261", "digits only"},
      {69, "ab", "not in its set"},
      {69, "A*B", "not in its set"},
      {4, "**", "no data"},
      {70, "123", "even number"},
      {5, "12a4", "even number"},
      {71, "1234", "start/stop"},
      {6, "AB", "start/stop"},
      {71, "A12E4B", "between start and stop"},
      {72, "ok\x80", "ASCII"},
      {73, "{A", "no data"},
      {73, "{Bab{X", "no code-set selector"},
      {7, "123", "unknown bar code system 7"},
      {64, "123", "unknown bar code system"},
      {74, "123", "unknown bar code system"},
      {-1, "123", "unknown bar code system"},
      {67, "", "no data"},
      {73, std::string(256, 'x'), "more than 255"},
  };
  for (const auto& [m, data, reason] : cases) {
    const BarcodeImage img = Render(m, data);
    EXPECT_FALSE(img.ok) << m << " " << data;
    EXPECT_NE(img.error.find(reason), std::string::npos) << m << " " << data << ": " << img.error;
    EXPECT_TRUE(img.dots.empty());
    EXPECT_EQ(img.width, 0);
  }
  for (int module : {0, 7, -3}) {
    const BarcodeImage img = Render(73, "{BA", module);
    EXPECT_FALSE(img.ok);
    EXPECT_NE(img.error.find("module width"), std::string::npos) << img.error;
  }
  for (int height : {0, 256}) {
    const BarcodeImage img = Render(73, "{BA", 3, height);
    EXPECT_FALSE(img.ok);
    EXPECT_NE(img.error.find("height"), std::string::npos) << img.error;
  }
}

TEST(Barcode, ReadsOnlyItsData) {
  // The data is a view into a longer buffer; what follows it must not change the symbol.
  const std::string a =
      "400638133393"
      "1"
      "99999";
  const std::string b =
      "400638133393"
      "1"
      "00000";
  BarcodeRequest request;
  request.m = 67;
  request.data = Span(a).first(13);
  const BarcodeImage ia = RenderBarcode(request);
  request.data = Span(b).first(13);
  const BarcodeImage ib = RenderBarcode(request);
  ASSERT_TRUE(ia.ok) << ia.error;
  EXPECT_EQ(ia.dots, ib.dots);
  // Every length of a data buffer allocated to its exact size, for every system: under
  // AddressSanitizer a read past the end stops the test.
  const std::string sample = "{B{S{1{C\x05{{*A0123456789B*";
  for (int m = 65; m <= 73; ++m)
    for (std::size_t len = 0; len <= sample.size(); ++len) {
      auto exact = std::make_unique<std::uint8_t[]>(len == 0 ? 1 : len);
      std::copy_n(sample.begin(), len, exact.get());
      request.m = m;
      request.data = {exact.get(), len};
      const BarcodeImage img = RenderBarcode(request);
      EXPECT_EQ(img.ok, img.error.empty()) << m << " " << len;
    }
}

// The GS k commands of a document's bytes: the builder's "GS w n GS h n GS k m", then the
// length and the data.
struct Sent {
  int module, height, m;
  std::string data;
};
std::vector<Sent> BarcodesIn(const std::vector<std::uint8_t>& b) {
  std::vector<Sent> out;
  for (std::size_t i = 0; i + 10 <= b.size(); ++i) {
    if (b[i] != 0x1D || b[i + 1] != 0x77 || b[i + 3] != 0x1D || b[i + 4] != 0x68 ||
        b[i + 6] != 0x1D || b[i + 7] != 0x6B)
      continue;
    const std::size_t len = b[i + 9];
    if (b[i + 8] < 65 || i + 10 + len > b.size()) continue;
    out.push_back({b[i + 2], b[i + 5], b[i + 8],
                   std::string(b.begin() + static_cast<std::ptrdiff_t>(i + 10),
                               b.begin() + static_cast<std::ptrdiff_t>(i + 10 + len))});
  }
  return out;
}

TEST(Barcode, SampleDocumentsBarcodesScanAsTheirText) {
  // CODE93 as it stands; Code 128 as the text the document gave the builder, before its
  // bytes were turned into symbol values.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"CleanReceiptTicket", "123456789"}, {"CleanReceiptTicket56", "123456789"},
      {"FontBarcodeTicket", "286823456"},  {"FontBarcodeTicket56", "286823456"},
      {"TwoPartTicket", "CODE128"},        {"TwoPartTicket56", "CODE128"},
  };
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& entry : fs::directory_iterator(testing::GoldenDir())) {
    if (entry.path().extension() != ".bin") continue;
    const std::string name = entry.path().stem().string();
    for (const Sent& s : BarcodesIn(testing::ReadFileBytes(entry.path()))) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(s.m == 72 || s.m == 73) << s.m;
      BarcodeRequest request;
      request.m = s.m;
      request.data = Span(s.data);
      request.module = s.module;
      request.height = s.height;
      const BarcodeImage img = RenderBarcode(request);
      ASSERT_TRUE(img.ok) << img.error;
      const std::string scanned = Scan(img, 12 * s.module);
      EXPECT_EQ(img.hriText, scanned);
      found.emplace_back(name, scanned);
    }
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace tillvane::render
