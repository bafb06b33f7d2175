// Single-byte text through the printer: code pages (ESC t), international character sets
// (ESC R), the profile's text at power-on and after ESC @, turned characters (ESC V, ESC {),
// the double-byte characters' own modes (FS !, FS W, FS -) and the remaining line commands.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/codepage.h"
#include "render/glyphs.h"
#include "render/virtual_printer.h"
#include "tests/render/render_support.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Encode;
using testing::RenderWith;
using testing::Text;

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A;

PrinterOptions Intl() {
  PrinterOptions o;
  o.profile = Profile::kIntl;
  return o;
}

// One page of lines as tall as their characters (ESC 3 0).
Bitmap Page(const Bytes& in, const PrinterOptions& options = Intl()) {
  const auto r = RenderWith(Cat({{ESC, '3', 0}, in, {LF}}), options);
  EXPECT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.report.unknown_bytes, 0u);
  return r.pages.empty() ? Bitmap() : r.pages[0].dots;
}

// The paper the glyphs of `text` make in a row from the left edge, cell after cell.
Bitmap Glyphs(const std::u32string& text, Face face) {
  const CellSize cell = CellOf(face);
  Bitmap out(kDots80mm, cell.height);
  int x0 = 0;
  for (char32_t cp : text) {
    const auto g = GlyphFor(face, cp);
    for (int y = 0; y < g->height; ++y)
      for (int x = 0; x < g->width; ++x)
        if (g->dots[static_cast<size_t>(y) * g->width + x]) out.Set(x0 + x, y);
    x0 += cell.width;
  }
  return out;
}

TEST(CharactersTest, SameTextInTwoCodePagesPrintsAlikeAndNotAsPc437) {
  struct Pair {
    const char* what;
    std::u32string text;
    uint8_t a, b;
  };
  const Pair pairs[] = {
      {"Cyrillic", U"Съешь ещё булок", 17, 46},            // PC866, WPC1251
      {"Greek", U"Καλημέρα κόσμε", 14, 47},                // PC737, WPC1253
      {"Central European", U"Příliš žluťoučký", 18, 45},   // PC852, WPC1250
      {"Turkish", U"Işığı gördüğü şey", 13, 48},           // PC857, WPC1254
      {"Western with the euro", U"Prix 5 € net", 19, 16},  // PC858, WPC1252
      {"Western", U"Ørsted © Ãõ Façade", 2, 16},           // PC850, WPC1252
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.what);
    const Bytes in_a = Encode(p.text, p.a), in_b = Encode(p.text, p.b);
    ASSERT_EQ(in_a.size(), p.text.size());
    ASSERT_EQ(in_b.size(), p.text.size());
    ASSERT_NE(in_a, in_b);
    const Bitmap a = Page(Cat({{ESC, 't', p.a}, in_a}));
    const Bitmap b = Page(Cat({{ESC, 't', p.b}, in_b}));
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == Glyphs(p.text, Face::kA));
    EXPECT_FALSE(a == Page(in_a));  // the same bytes in PC437
    // In the cn profile after FS . the code page is the same.
    PrinterOptions cn;
    EXPECT_TRUE(a == Page(Cat({{FS, '.', ESC, 't', p.a}, in_a}), cn));
  }
  // The euro sign by the bytes each table holds it at.
  EXPECT_TRUE(Page({ESC, 't', 19, 0xD5}) == Glyphs(U"€", Face::kA));
  EXPECT_TRUE(Page({ESC, 't', 16, 0x80}) == Glyphs(U"€", Face::kA));
}

TEST(CharactersTest, MissingCodePagesPrintPc437ReportedOnceAndEscInitialiseResets) {
  const Bytes upper = {0x80, 0x9B, 0xE1};  // Ç ¢ ß in PC437
  const Bitmap pc437 = Page(upper);
  EXPECT_TRUE(pc437 == Glyphs(U"Ç¢ß", Face::kA));
  const auto r =
      RenderWith(Cat({{ESC, 't', 99}, upper, {ESC, 't', 99, ESC, 't', 200}, {LF}}), Intl());
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.report.not_drawn, 2u);  // 99 once, 200 once
  ASSERT_EQ(r.report.not_drawn_notes.size(), 2u);
  EXPECT_EQ(r.report.not_drawn_notes[0], "ESC t at 0: code page 99 not available, drawn as PC437");
  EXPECT_EQ(r.report.refused, 0u);
  EXPECT_TRUE(Page(Cat({{ESC, 't', 99}, upper})) == pc437);
  EXPECT_TRUE(Page(Cat({{ESC, 't', 17, ESC, '@', ESC, '3', 0}, upper})) == pc437);
  EXPECT_FALSE(Page(Cat({{ESC, 't', 17}, upper})) == pc437);
}

TEST(CharactersTest, InternationalSetsReplaceTheNationalBytes) {
  struct Case {
    uint8_t n;
    std::string bytes;
    std::u32string printed;
  };
  const Case cases[] = {
      {0, "#$@[\\]^`{|}~", U"#$@[\\]^`{|}~"},
      {1, "@[\\]{|}~", U"à°ç§éùè¨"},  // France
      {2, "@[\\]{|}~", U"§ÄÖÜäöüß"},  // Germany
      {3, "#$", U"£$"},               // UK
      {8, "\\", U"¥"},                // Japan
      {13, "\\", U"₩"},               // Korea
      {7, "#[\\]", U"₧¡Ñ¿"},          // Spain I
      {2, "AZaz09", U"AZaz09"},       // the rest of ASCII stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.n));
    const Bitmap set = Page(Cat({{ESC, 'R', c.n}, Text(c.bytes)}));
    EXPECT_TRUE(set == Glyphs(c.printed, Face::kA));
    EXPECT_EQ(set == Page(Text(c.bytes)),
              std::u32string(c.bytes.begin(), c.bytes.end()) == c.printed);
    EXPECT_TRUE(Page(Cat({{ESC, 'R', c.n, ESC, '@', ESC, '3', 0}, Text(c.bytes)})) ==
                Page(Text(c.bytes)));
  }
  // A set Tillvane lacks: USA, said once.
  const auto r = RenderWith(Cat({{ESC, 'R', 42, ESC, 'R', 42}, Text("[a]"), {LF}}), Intl());
  EXPECT_EQ(r.report.not_drawn, 1u);
  EXPECT_TRUE(r.pages.at(0).dots == RenderWith(Cat({Text("[a]"), {LF}}), Intl()).pages.at(0).dots);
}

TEST(CharactersTest, TheProfileDecidesWhatTextBytesMeanAtPowerOnAndAfterReset) {
  // é á à ç in PC437; two GBK characters read as pairs.
  const Bytes accented = {0x82, 0xA0, 0x85, 0x87};
  const Bitmap gbk = Glyphs({DecodeGbk(0x82, 0xA0), DecodeGbk(0x85, 0x87)}, Face::kWide);
  const Bitmap pc437 = Glyphs(U"éáàç", Face::kA);
  ASSERT_NE(DecodeGbk(0x82, 0xA0), 0u);
  ASSERT_FALSE(gbk == pc437);
  const PrinterOptions cn;
  struct Case {
    const char* what;
    PrinterOptions options;
    Bytes before;
    const Bitmap* expect;
  };
  const Case cases[] = {
      {"cn", cn, {}, &gbk},
      {"intl", Intl(), {}, &pc437},
      {"cn, FS .", cn, {FS, '.'}, &pc437},
      {"intl, FS &", Intl(), {FS, '&'}, &gbk},
      {"cn, FS . ESC @", cn, {FS, '.', ESC, '@', ESC, '3', 0}, &gbk},
      {"intl, FS & ESC @", Intl(), {FS, '&', ESC, '@', ESC, '3', 0}, &pc437},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(Page(Cat({c.before, accented}), c.options) == *c.expect);
  }
  // The preview's printer changes profile between jobs.
  VirtualPrinter printer;
  printer.SetProfile(Profile::kIntl);
  EXPECT_EQ(printer.profile(), Profile::kIntl);
  const Bytes job = Cat({{ESC, '3', 0}, accented, {LF}});
  printer.Write(job.data(), job.size());
  printer.Finish();
  const auto shot = printer.Take();
  ASSERT_EQ(shot.pages.size(), 1u);
  EXPECT_TRUE(shot.pages[0]->dots == pc437);
}

// Turns `b` (w x h) 90 degrees clockwise, 180 degrees, or not.
Bitmap Turn(const Bitmap& b, int quarter, int w, int h) {
  Bitmap out(b.width(), quarter == 1 ? w : h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!b.Get(x, y)) continue;
      if (quarter == 1)
        out.Set(h - 1 - y, x);
      else
        out.Set(w - 1 - x, h - 1 - y);
    }
  return out;
}

TEST(CharactersTest, TurnedCharactersAreTheUprightOnesTurned) {
  struct Case {
    const char* what;
    Bytes mode;
    std::string text;
    int cell_w;  // one cell's width on upright paper
  };
  const Case cases[] = {
      {"font A", {}, "R", 12},
      {"font B", {ESC, 'M', 1}, "g", 9},
      {"double width", {GS, '!', 0x10}, "F", 24},
      {"double height", {GS, '!', 0x01}, "7", 12},
      {"emphasized", {ESC, 'E', 1}, "L", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bitmap upright = Page(Cat({c.mode, Text(c.text)}));
    // ESC V: the glyph turned clockwise; the line is as high as the cell was wide.
    const Bitmap turned = Page(Cat({{ESC, 'V', 1}, c.mode, Text(c.text)}));
    EXPECT_EQ(turned.height(), c.cell_w);
    EXPECT_TRUE(turned == Turn(upright, 1, c.cell_w, upright.height()));
    EXPECT_TRUE(Page(Cat({{ESC, 'V', '1', ESC, 'V', '0'}, c.mode, Text(c.text)})) == upright);
    // ESC {: the whole line turned, its end on the left.
    const Bitmap line = Page(Cat({c.mode, Text(c.text + "a-Z")}));
    const Bitmap down = Page(Cat({{ESC, '{', 1}, c.mode, Text(c.text + "a-Z")}));
    EXPECT_TRUE(down == Turn(line, 2, kDots80mm, line.height()));
    EXPECT_TRUE(Page(Cat({{ESC, '{', 1, ESC, '@', ESC, '3', 0}, c.mode, Text(c.text + "a-Z")})) ==
                line);
  }
  // ESC { in the middle of a line waits for none: the line prints as it began.
  EXPECT_TRUE(Page(Cat({Text("ab"), {ESC, '{', 1}, Text("c")})) == Page(Text("abc")));
  // Turned characters are not underlined.
  EXPECT_TRUE(Page({ESC, 'V', 1, ESC, '-', 2, 'x'}) == Page({ESC, 'V', 1, 'x'}));
}

TEST(CharactersTest, DoubleByteModesActOnDoubleByteCharactersOnly) {
  const Bytes zhong = {0xD6, 0xD0};  // 中
  const PrinterOptions cn;
  struct Case {
    Bytes fs;    // the double-byte mode
    Bytes same;  // what does the same to every character
  };
  const Case cases[] = {
      {{FS, '!', 0x04}, {GS, '!', 0x10}},  {{FS, '!', 0x08}, {GS, '!', 0x01}},
      {{FS, '!', 0x0C}, {GS, '!', 0x11}},  {{FS, 'W', 1}, {GS, '!', 0x11}},
      {{FS, '!', 0x80}, {ESC, '-', 1}},    {{FS, '-', 1}, {ESC, '-', 1}},
      {{FS, '-', '2'}, {ESC, '-', 2}},     {{FS, 'W', 1, FS, 'W', 0}, {}},
      {{FS, '!', 0x8C, FS, '!', 0}, {}},   {{FS, 'S', 0, 5}, {ESC, ' ', 5}},
      {{FS, 'S', 7, 0}, {ESC, '$', 7, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.fs));
    EXPECT_TRUE(Page(Cat({c.fs, zhong}), cn) == Page(Cat({c.same, zhong}), cn));
    EXPECT_TRUE(Page(Cat({c.fs, Text("A")}), cn) == Page(Text("A"), cn));
    EXPECT_TRUE(Page(Cat({c.fs, {ESC, '@', ESC, '3', 0}, zhong}), cn) == Page(zhong, cn));
  }
}

TEST(CharactersTest, TheRestOfTheLineCommands) {
  struct Case {
    const char* what;
    Bytes in, same;
    uint64_t not_drawn;
  };
  const Case cases[] = {
      {"GS T 0 drops the line", Cat({Text("abc"), {GS, 'T', 0}, Text("x")}), Text("x"), 0},
      {"GS T 1 prints it", Cat({Text("abc"), {GS, 'T', '1'}, Text("x")}), Text("abc\nx"), 0},
      {"ESC K prints, no feeding back", Cat({Text("ab"), {ESC, 'K', 5}, Text("c")}), Text("ab\nc"),
       1},
      {"ESC e likewise", Cat({Text("ab"), {ESC, 'e', 1}, Text("c")}), Text("ab\nc"), 1},
      {"ESC r 1 in black", Cat({{ESC, 'r', 1}, Text("ab")}), Text("ab"), 1},
      {"ESC r 0", Cat({{ESC, 'r', 0}, Text("ab")}), Text("ab"), 0},
      {"ESC % 1 from the fonts", Cat({{ESC, '%', 1}, Text("ab")}), Text("ab"), 1},
      {"ESC ? 65", Cat({{ESC, '?', 65}, Text("ab")}), Text("ab"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = RenderWith(Cat({{ESC, '3', 0}, c.in, {LF}}), Intl());
    EXPECT_EQ(r.report.not_drawn, c.not_drawn);
    EXPECT_EQ(r.report.unknown_bytes, 0u);
    EXPECT_TRUE(r.Roll() == Page(c.same));
  }
}

TEST(CharactersTest, MacrosPrintAsTheyAreDefinedAndAgainForEachRun) {
  Bytes long_macro = {GS, ':'};
  for (int i = 0; i < 700; ++i) long_macro.insert(long_macro.end(), {ESC, ' ', 0});
  long_macro.insert(long_macro.end(), {GS, ':', GS, '^', 1, 0, 0});
  struct Case {
    const char* what;
    Bytes in, same;
    uint64_t refused;
  };
  const Case cases[] = {
      {"defined, then run twice", Cat({{GS, ':'}, Text("ab\n"), {GS, ':', GS, '^', 2, 0, 0}}),
       Text("ab\nab\nab\n"), 0},
      {"with commands",
       Cat({{GS, ':', GS, '!', 0x11},
            Text("W"),
            {GS, '!', 0, GS, ':'},
            Text("-"),
            {GS, '^', 1, 5, 1}}),
       Cat({{GS, '!', 0x11},
            Text("W"),
            {GS, '!', 0},
            Text("-"),
            {GS, '!', 0x11},
            Text("W"),
            {GS, '!', 0}}),
       0},
      {"the last definition counts",
       Cat({{GS, ':'}, Text("a"), {GS, ':', GS, ':'}, Text("b"), {GS, ':', GS, '^', 1, 0, 0}}),
       Text("abb"), 0},
      {"none defined", Cat({{GS, '^', 3, 0, 0}}), Text(""), 0},
      {"an empty one", Cat({{GS, ':', GS, ':', GS, '^', 3, 0, 0}}), Text(""), 0},
      {"longer than the buffer", long_macro, Text(""), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = RenderWith(Cat({{ESC, '3', 0}, c.in, Text("x"), {LF}}), Intl());
    EXPECT_EQ(r.report.refused, c.refused);
    EXPECT_EQ(r.report.not_drawn, 0u);
    EXPECT_TRUE(r.Roll() == Page(Cat({c.same, Text("x")})));
  }
  // A byte of no character in the macro is a byte of the input once, however often the
  // macro runs (and the count never passes the input's size).
  const Bytes in = Cat({{FS, '&', GS, ':', 0x80}, Text("a\n"), {GS, ':', GS, '^', 200, 0, 0}});
  const auto r = RenderWith(in, Intl());
  EXPECT_EQ(r.report.unknown_bytes, 1u);
  EXPECT_EQ(r.report.unknown_offsets, (std::vector<uint64_t>{4}));
}

}  // namespace
}  // namespace tillvane::render
