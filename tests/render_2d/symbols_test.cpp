// GS ( k through the virtual printer: symbols printed in standard and page mode read back
// by zbar and zxing-cpp as their data, placed by the justification to the dot, the size
// answer, refusals and the functions not drawn.
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include "protocol/control_bytes.h"
#include "render/png_file.h"
#include "tests/render/render_support.h"
#include "tests/render_2d/symbol_bytes.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

using namespace testing;
using protocol::ESC, protocol::FF, protocol::GS, protocol::LF;

constexpr uint8_t kPdf = 48, kQr = 49, kMaxi = 50, kAztec = 53, kMatrix = 54;

std::string RandomText(std::mt19937& rng, size_t n) {
  std::string s(n, ' ');
  for (char& c : s) c = static_cast<char>(0x21 + rng() % 0x5E);
  return s;
}

// The roll with `quiet` white dots around it.
Bitmap Padded(const Bitmap& b, int quiet) {
  Bitmap out(b.width() + 2 * quiet, b.height() + 2 * quiet);
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x)
      if (b.Get(x, y)) out.Set(x + quiet, y + quiet);
  return out;
}

// Every line zbarimg reads from the files, QR codes only.
std::vector<std::string> ZbarLines(const std::vector<std::string>& files) {
  std::string cmd = "zbarimg --raw -q -Sdisable -Sqrcode.enable";
  for (const std::string& f : files) cmd += " " + f;
  cmd += " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  std::string text;
  if (pipe) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;) text.append(buf, n);
  }
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

// zxing-cpp on the printed part of the roll, with a quiet zone around it.
std::string ZxingRead(const Bitmap& roll, ZXing::BarcodeFormat format) {
  const Box ink = Ink(roll);
  Bitmap printed(ink.width(), ink.height());
  for (int y = 0; y < ink.height(); ++y)
    for (int x = 0; x < ink.width(); ++x)
      if (roll.Get(ink.left + x, ink.top + y)) printed.Set(x, y);
  const Bitmap b = Padded(printed, 24);
  std::vector<uint8_t> lum(static_cast<size_t>(b.width()) * static_cast<size_t>(b.height()), 255);
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x)
      if (b.Get(x, y)) lum[static_cast<size_t>(y) * static_cast<size_t>(b.width()) + x] = 0;
  ZXing::DecodeHints hints;
  hints.setFormats(format).setTryHarder(true);
  const ZXing::Result r =
      ZXing::ReadBarcode({lum.data(), b.width(), b.height(), ZXing::ImageFormat::Lum}, hints);
  return r.isValid() ? std::string(r.bytes().begin(), r.bytes().end()) : std::string();
}

// A print in standard mode (direction -1) or page mode in direction 0..3 at u 16, v
// below the symbol's height.
Bytes Printed(uint8_t cn, int direction) {
  if (direction < 0) return Cat({{ESC, 'a', 1}, PrintSymbol(cn)});
  return Cat({{ESC, 'L', ESC, 'T', static_cast<uint8_t>(direction), ESC, '$', 16, 0},
              {GS, '$', 0x90, 0x01},  // v = 400
              PrintSymbol(cn),
              {FF}});
}

TEST(Symbols2d, PrintedSymbolsReadBackAsTheirData) {
  tillvane::testing::ScopedTempDir dir;
  std::mt19937 rng(20261209);
  struct Qr {
    std::string file, data;
  };
  std::vector<Qr> qrs;
  for (int paper : {kDots80mm, kDotsNarrow})
    for (int module = 3; module <= 8; ++module)
      for (int level = 48; level <= 51; ++level)
        for (int direction = -1; direction <= 3; ++direction) {
          const std::string tag = std::to_string(qrs.size()) + ":";
          const std::string data = tag + RandomText(rng, 20 + rng() % 28);
          const auto r = Render(
              Cat({{ESC, '@'}, QrSymbol(module, level, data), Printed(kQr, direction)}), paper);
          const std::string what = "paper " + std::to_string(paper) + " module " +
                                   std::to_string(module) + " level " + std::to_string(level) +
                                   " direction " + std::to_string(direction);
          ASSERT_EQ(r.report.refused, 0u) << what << ::testing::PrintToString(r.report.notes);
          ASSERT_EQ(r.report.not_drawn, 0u) << what;
          const std::string file = (dir.path() / ("qr-" + std::to_string(qrs.size()) + ".png"));
          std::string error;
          ASSERT_TRUE(WritePng(file, Padded(r.Roll(), 32), &error)) << error;
          qrs.push_back({file, data});
        }
  // One zbarimg for them all; each data starts with its case number.
  std::map<std::string, std::string> read;
  for (const std::string& line : ZbarLines([&] {
         std::vector<std::string> files;
         for (const Qr& q : qrs) files.push_back(q.file);
         return files;
       }()))
    read[line.substr(0, line.find(':') + 1)] = line;
  for (size_t i = 0; i < qrs.size(); ++i)
    EXPECT_EQ(read[std::to_string(i) + ":"], qrs[i].data) << qrs[i].file;

  // The others through zxing-cpp, centred in standard mode and in page mode.
  struct Other {
    const char* what;
    uint8_t cn;
    Bytes settings;
    size_t bytes;
    ZXing::BarcodeFormat format;
    int direction;
  };
  using F = ZXing::BarcodeFormat;
  const Other others[] = {
      {"PDF417 2 columns", kPdf, Cat({Gsk(kPdf, 65, {2}), Gsk(kPdf, 67, {3})}), 40, F::PDF417, -1},
      {"PDF417 5 columns", kPdf, Cat({Gsk(kPdf, 65, {5}), Gsk(kPdf, 68, {4})}), 120, F::PDF417, -1},
      {"PDF417 10 columns by ratio", kPdf,
       Cat({Gsk(kPdf, 65, {10}), Gsk(kPdf, 67, {2}), Gsk(kPdf, 69, {49, 10})}), 200, F::PDF417, -1},
      {"PDF417 4 columns, page direction 1", kPdf, Gsk(kPdf, 65, {4}), 60, F::PDF417, 1},
      {"DataMatrix", kMatrix, Gsk(kMatrix, 67, {4}), 50, F::DataMatrix, -1},
      {"DataMatrix rectangle 16 x 48", kMatrix,
       Cat({Gsk(kMatrix, 66, {1, 48, 16}), Gsk(kMatrix, 67, {3})}), 20, F::DataMatrix, -1},
      {"DataMatrix, page direction 2", kMatrix, Gsk(kMatrix, 67, {5}), 30, F::DataMatrix, 2},
      {"Aztec", kAztec, Gsk(kAztec, 67, {4}), 60, F::Aztec, -1},
      {"Aztec compact 3 layers", kAztec, Cat({Gsk(kAztec, 66, {1, 3}), Gsk(kAztec, 69, {30})}), 20,
       F::Aztec, -1},
      {"Aztec, page direction 3", kAztec, Gsk(kAztec, 67, {3}), 40, F::Aztec, 3},
      {"MaxiCode mode 4", kMaxi, Gsk(kMaxi, 65, {52}), 30, F::MaxiCode, -1},
  };
  for (const Other& o : others) {
    SCOPED_TRACE(o.what);
    const std::string data = RandomText(rng, o.bytes);
    const auto r =
        Render(Cat({{ESC, '@'}, o.settings, StoreSymbol(o.cn, data), Printed(o.cn, o.direction)}));
    ASSERT_EQ(r.report.refused, 0u) << ::testing::PrintToString(r.report.notes);
    EXPECT_EQ(ZxingRead(r.Roll(), o.format), data);
  }
}

// The symbol's width and height from the size answer (fn 82).
struct Size {
  int width = 0, height = 0;
  bool prints = false;
};
Size SizeAnswer(const Bytes& replies) {
  Size s;
  const std::string a(replies.begin(), replies.end());
  if (a.size() < 8 || a[0] != 0x37 || a[1] != 0x76) return s;
  const size_t sep = a.find('\x1F', 2), sep2 = a.find('\x1F', sep + 1);
  s.width = std::stoi(a.substr(2, sep - 2));
  s.height = std::stoi(a.substr(sep + 1, sep2 - sep - 1));
  s.prints = a[sep2 + 1] == '0';
  return s;
}

TEST(Symbols2d, StandardModeSymbolsStartWhereTheJustificationPutsThem) {
  const Bytes qr = QrSymbol(4, 49, "https://tillvane.example/placement");
  struct Case {
    const char* what;
    int left, width;  // GS L and GS W in dots; width 0: not given
  };
  const Case cases[] = {
      {"whole line", 0, 0},
      {"left margin 40", 40, 0},
      {"print width 300", 0, 300},
      {"margin 24, width 256", 24, 256},
      {"margin 100, width past the paper", 100, 1000},
  };
  for (int paper : {kDots80mm, kDotsNarrow})
    for (const Case& c : cases)
      for (int justify = 0; justify <= 2; ++justify) {
        SCOPED_TRACE(std::string(c.what) + ", paper " + std::to_string(paper) + ", ESC a " +
                     std::to_string(justify));
        Bytes setup = {ESC,
                       '@',
                       GS,
                       'L',
                       static_cast<uint8_t>(c.left & 0xFF),
                       static_cast<uint8_t>(c.left >> 8)};
        if (c.width)
          setup = Cat({setup,
                       {GS, 'W', static_cast<uint8_t>(c.width & 0xFF),
                        static_cast<uint8_t>(c.width >> 8)}});
        setup = Cat({setup, {ESC, 'a', static_cast<uint8_t>(justify)}, qr});
        const Size size = SizeAnswer(Render(Cat({setup, SymbolSize(kQr)}), paper).replies);
        ASSERT_TRUE(size.prints);
        // A line of text before: printed first, the symbol below it.
        const auto r = Render(Cat({setup, Text("x"), PrintSymbol(kQr)}), paper);
        ASSERT_EQ(r.report.refused, 0u) << ::testing::PrintToString(r.report.notes);
        const Bitmap roll = r.Roll();
        ASSERT_GT(roll.height(), size.height);
        const int top = roll.height() - size.height;
        const Box box = Ink(roll, 0, top, -1, roll.height() - 1);
        const int right = std::min(paper, c.left + (c.width ? c.width : paper));
        const int expected = justify == 0   ? c.left
                             : justify == 1 ? c.left + (right - c.left - size.width) / 2
                                            : right - size.width;
        EXPECT_EQ(box.left, expected);
        EXPECT_EQ(box.width(), size.width);
        EXPECT_EQ(box.top, top);
        EXPECT_EQ(box.height(), size.height);
        // The text line ends where the symbol starts: nothing between.
        EXPECT_FALSE(Ink(roll, 0, 0, -1, top - 1).empty());
      }
}

TEST(Symbols2d, PageModeSymbolsSitOnThePrintPositionInEveryDirection) {
  // Area 320 x 400 at (8, 0); u 40 along the text, v 300 down: the symbol's bottom on v.
  const Bytes qr = QrSymbol(3, 48, "page mode");
  const Size size = SizeAnswer(Render(Cat({qr, SymbolSize(kQr)})).replies);
  const int w = size.width, h = size.height, aw = 320, ah = 400, u = 40, v = 300;
  struct Case {
    int direction;
    Box box;  // in the area
  };
  const Case cases[] = {
      {0, {u, v - h, u + w - 1, v - 1}},
      {1, {v - h, ah - u - w, v - 1, ah - 1 - u}},
      {2, {aw - u - w, ah - v, aw - 1 - u, ah - 1 - (v - h)}},
      {3, {aw - v, u, aw - 1 - (v - h), u + w - 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.direction);
    const auto r = Render(Cat({qr,
                               {ESC, 'L',      ESC,   'W', 8,
                                0,   0,        0,     64,  1,
                                144, 1,        ESC,   'T', static_cast<uint8_t>(c.direction),
                                ESC, '$',      u,     0,   GS,
                                '$', v & 0xFF, v >> 8},
                               PrintSymbol(kQr),
                               {FF}}));
    ASSERT_EQ(r.report.refused, 0u) << ::testing::PrintToString(r.report.notes);
    const Box box = Ink(r.Roll());
    EXPECT_EQ(box.left, 8 + c.box.left);
    EXPECT_EQ(box.right, 8 + c.box.right);
    EXPECT_EQ(box.top, c.box.top);
    EXPECT_EQ(box.bottom, c.box.bottom);
  }
}

TEST(Symbols2d, SizeAnswers) {
  const Bytes tooWide = QrSymbol(16, 48, std::string(100, 'w'));
  struct Case {
    const char* what;
    Bytes in;
    std::string answer;
  };
  const Case cases[] = {
      {"QR version 1 of 4 dots", QrSymbol(4, 48, "Tillvane"),
       "7v84\x1F"
       "84\x1F"
       "0"},
      {"QR version 2 of 5 dots", QrSymbol(5, 51, "Tillvane"),
       "7v125\x1F"
       "125\x1F"
       "0"},
      {"wider than the line", tooWide,
       "7v592\x1F"
       "592\x1F"
       "1"},
      {"nothing stored",
       {},
       "7v0\x1F"
       "0\x1F"
       "1"},
      {"PDF417 of 2 columns, 3 rows, 2 dots by 3",
       Cat({Gsk(kPdf, 65, {2}), Gsk(kPdf, 66, {3}), Gsk(kPdf, 67, {2}), Gsk(kPdf, 68, {3}),
            Gsk(kPdf, 69, {48, 48}), StoreSymbol(kPdf, "ab")}),
       "7v" + std::to_string(2 * (17 * 5 + 18)) +
           "\x1F"
           "18\x1F"
           "0"},
  };
  for (const Case& c : cases) {
    const uint8_t cn = std::string(c.what).rfind("PDF", 0) == 0 ? kPdf : kQr;
    const auto r = Render(Cat({c.in, SymbolSize(cn)}));
    Bytes want(c.answer.begin(), c.answer.end());
    want.push_back(0);
    EXPECT_EQ(r.replies, want) << c.what;
    EXPECT_TRUE(r.pages.empty()) << c.what;
  }
}

TEST(Symbols2d, RefusalsAndFunctionsNotDrawn) {
  const Bytes hello = QrSymbol(3, 48, "hello");
  struct Case {
    const char* what;
    Bytes in;
    const char* refusal;    // a part of the only note, or nullptr for none
    const char* not_drawn;  // a part of the only not-drawn note, or nullptr
    int printed_width;      // of what prints; 0: nothing
  };
  const Case cases[] = {
      {"wider than the narrow paper", QrSymbol(16, 48, std::string(100, 'w')),
       "GS ( k cn 49 fn 81: the symbol is 592 dots wide, the line 416; nothing printed", nullptr,
       0},
      {"wider than the print width", Cat({{GS, 'W', 50, 0}, hello}), "dots wide, the line 50",
       nullptr, 0},
      {"wider than what is left of the page area",
       Cat({hello, {ESC, 'L', ESC, 'W', 0, 0, 0, 0, 100, 0, 100, 0, ESC, '$', 60, 0}}),
       "63 dots wide, the line 40", nullptr, 0},
      {"module size 17 refused, 3 kept", Cat({hello, Gsk(kQr, 67, {17})}),
       "GS ( k cn 49 fn 67: QR module size 17 is not 1..16 dots; the earlier setting stays",
       nullptr, 63},
      {"error level 52", Cat({hello, Gsk(kQr, 69, {52})}), "level 52", nullptr, 63},
      {"PDF417 ratio 41",
       Cat({Gsk(kPdf, 65, {1}), StoreSymbol(kPdf, "x"), Gsk(kPdf, 69, {49, 41})}), "ratio 41",
       nullptr, 3 * (17 * 4 + 18)},
      {"two parameter bytes for one", Cat({hello, Gsk(kQr, 67, {4, 4})}),
       "2 parameter bytes where the function takes 1", nullptr, 63},
      {"print with m 49", Cat({hello, Gsk(kQr, 81, {49})}), "takes m = 48 alone", nullptr, 63},
      {"more data than a symbol holds, the earlier kept",
       Cat({hello, StoreSymbol(kQr, std::string(7090, '1'))}), "7090 data bytes", nullptr, 63},
      {"more than QR takes", StoreSymbol(kQr, std::string(3000, 'q')), "QR: ", nullptr, 0},
      {"nothing stored", {}, "no data stored", nullptr, 0},
      {"ESC @ forgets the data", Cat({hello, {ESC, '@'}}), "no data stored", nullptr, 0},
      {"no symbol type and function", Cat({hello, {GS, '(', 'k', 1, 0, 49}}),
       "without its symbol type", nullptr, 63},
      {"QR model 1", Cat({hello, Gsk(kQr, 65, {49, 0})}), nullptr,
       "GS ( k cn 49 fn 81 at 47: QR model 1 is not drawn", 0},
      {"MaxiCode mode 2", Cat({Gsk(kMaxi, 65, {50}), StoreSymbol(kMaxi, "x")}), nullptr,
       "GS ( k cn 50 fn 81 at 17: MaxiCode modes 2 and 3", 0},
      {"a symbol type drawn by none", Gsk(52, 65, {1}), nullptr,
       "GS ( k cn 52 fn 65 at 0: no 2-D symbol of type 52", 63},
      {"a QR function not drawn", Cat({hello, Gsk(kQr, 70, {1})}), nullptr,
       "GS ( k cn 49 fn 70 at 38: QR Code has no function 70", 63},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Each case ends by printing the QR code, or the symbol its case is about.
    const std::string what = c.what;
    const uint8_t cn = what.rfind("PDF", 0) == 0 ? kPdf : what.rfind("Maxi", 0) == 0 ? kMaxi : kQr;
    const bool page = what.find("page area") != std::string::npos;
    Bytes in = Cat({c.in, PrintSymbol(cn)});
    if (c.not_drawn && what.rfind("a ", 0) == 0) in = Cat({c.in, hello, PrintSymbol(kQr)});
    if (page) in.push_back(FF);
    const auto r = Render(in, what.find("narrow") != std::string::npos ? kDotsNarrow : kDots80mm);
    if (c.refusal) {
      ASSERT_EQ(r.report.notes.size(), 1u) << ::testing::PrintToString(r.report.notes);
      EXPECT_NE(r.report.notes[0].find(c.refusal), std::string::npos) << r.report.notes[0];
    } else {
      EXPECT_EQ(r.report.refused, 0u) << ::testing::PrintToString(r.report.notes);
    }
    if (c.not_drawn) {
      ASSERT_EQ(r.report.not_drawn_notes.size(), 1u);
      EXPECT_NE(r.report.not_drawn_notes[0].find(c.not_drawn), std::string::npos)
          << r.report.not_drawn_notes[0];
    } else {
      EXPECT_EQ(r.report.not_drawn, 0u) << ::testing::PrintToString(r.report.not_drawn_notes);
    }
    const Box box = Ink(r.Roll());
    EXPECT_EQ(box.empty() ? 0 : box.width(), c.printed_width);
  }
}

}  // namespace
}  // namespace tillvane::render
