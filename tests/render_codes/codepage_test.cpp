// Code pages and international character sets: the same text in two code pages that both
// hold it decodes alike (and not as PC437 would), the euro signs, tables built once under
// several threads, the PC437 stand-in for tables Tillvane lacks, and ESC R's twelve bytes.
#include <iconv.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "render/codepage.h"
#include "render/glyphs.h"

namespace tillvane::render {
namespace {

const CodePageInfo& Info(int n) {
  for (const CodePageInfo& c : CodePages())
    if (c.n == n) return c;
  ADD_FAILURE() << "no code page " << n;
  return CodePages()[0];
}

// `text` in the character set of ESC t `n`, through iconv; empty when it cannot be.
std::string Encode(const std::u32string& text, int n) {
  const std::string charset(Info(n).charset);
  iconv_t cd = iconv_open(charset.c_str(), "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string out(text.size() * 4, '\0');
  char* src = reinterpret_cast<char*>(const_cast<char32_t*>(text.data()));
  char* dst = out.data();
  std::size_t srcLeft = text.size() * sizeof(char32_t), dstLeft = out.size();
  const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok || srcLeft != 0) return "";
  out.resize(out.size() - dstLeft);
  return out;
}

std::u32string Decode(const std::string& bytes, int n) {
  const CodePage page = CodePageFor(n);
  EXPECT_TRUE(page.known) << n;
  std::u32string out;
  for (char c : bytes) out.push_back(page.Decode(static_cast<std::uint8_t>(c)));
  return out;
}

TEST(CodePage, SameTextInTwoPagesDecodesAlike) {
  struct Pair {
    std::u32string text;
    int a, b;
  };
  const Pair pairs[] = {
      {U"Съешь же ещё этих мягких булок", 17, 46},  // PC866, WPC1251
      {U"Καλημέρα κόσμε, Ωραία", 14, 47},           // PC737, WPC1253
      {U"Příliš žluťoučký kůň úpěl", 18, 45},       // PC852, WPC1250
      {U"Işığı gördüğü şeyİ Ğ", 13, 48},            // PC857, WPC1254
      {U"Crème brûlée à 5 € ¿ñ?", 19, 16},          // PC858, WPC1252
      {U"שלום עולם", 36, 49},                       // PC862, WPC1255
      {U"Ąžuolas ėjo į mūšį", 33, 51},              // PC775, WPC1257
      {U"Ørsted, São Paulo, Õ", 2, 40},             // PC850, ISO8859-15
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(std::to_string(p.a) + " and " + std::to_string(p.b));
    const std::string inA = Encode(p.text, p.a), inB = Encode(p.text, p.b);
    ASSERT_FALSE(inA.empty());
    ASSERT_FALSE(inB.empty());
    EXPECT_NE(inA, inB);
    EXPECT_EQ(Decode(inA, p.a), p.text);
    EXPECT_EQ(Decode(inB, p.b), p.text);
    EXPECT_NE(Decode(inA, 0), p.text);
  }
}

TEST(CodePage, SingleBytesDecodeToTheirCharacters) {
  struct One {
    int n;
    std::uint8_t byte;
    char32_t want;
  };
  const One ones[] = {
      {19, 0xD5, U'€'}, {16, 0x80, U'€'},   {2, 0xD5, U'ı'}, {17, 0x80, U'А'},
      {46, 0xC0, U'А'}, {0, 0x9B, U'¢'},    {0, 0xFE, U'■'}, {45, 0x8A, U'Š'},
      {47, 0xC1, U'Α'}, {52, 0xCC, 0x0300}, {16, 0x81, 0},   {16, 0x41, U'A'},
  };
  for (const One& o : ones)
    EXPECT_EQ(CodePageFor(o.n).Decode(o.byte), o.want) << o.n << " byte " << int{o.byte};
  // PC437 is the table the glyphs have always used.
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(CodePageFor(0).Decode(static_cast<std::uint8_t>(b)),
              DecodeCp437(static_cast<std::uint8_t>(b)))
        << b;
}

TEST(CodePage, TablesAreBuiltOnceUnderManyThreadsAndLackingOnesSayPc437) {
  std::vector<std::vector<char32_t>> seen(4);
  std::vector<std::thread> threads;
  for (auto& s : seen)
    threads.emplace_back([&s] {
      for (const CodePageInfo& c : CodePages())
        for (int b = 0x80; b < 0x100; ++b)
          s.push_back(CodePageFor(c.n).Decode(static_cast<std::uint8_t>(b)));
    });
  for (auto& t : threads) t.join();
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], seen[0]);
  for (const CodePageInfo& c : CodePages()) {
    const CodePage page = CodePageFor(c.n);
    EXPECT_TRUE(page.known) << c.name;
    EXPECT_EQ(page.info, &c);
    EXPECT_EQ(page.upper, CodePageFor(c.n).upper) << "decoded once";
  }
  for (int n : {1, 6, 20, 255, -1, 1000}) {
    const CodePage page = CodePageFor(n);
    EXPECT_FALSE(page.known) << n;
    EXPECT_EQ(page.info->name, "PC437");
    EXPECT_EQ(page.Decode(0xB0), U'░');
  }
}

TEST(CharacterSet, TwelveBytesTakeTheirNationalCharacters) {
  struct Case {
    int n;
    std::uint8_t byte;
    char32_t want;
  };
  const Case cases[] = {
      {0, '#', U'#'},  {0, '~', U'~'},  {1, '@', U'à'},  {1, '~', U'¨'},   {2, '@', U'§'},
      {2, '~', U'ß'},  {3, '#', U'£'},  {3, '$', U'$'},  {4, '[', U'Æ'},   {5, '$', U'¤'},
      {5, '`', U'é'},  {6, '|', U'ò'},  {7, '#', U'₧'},  {8, '\\', U'¥'},  {9, '^', U'Ü'},
      {10, '$', U'$'}, {11, '@', U'á'}, {12, '`', U'ü'}, {13, '\\', U'₩'}, {14, '@', U'Ž'},
      {14, '~', U'č'}, {15, '$', U'¥'}, {16, '$', U'₫'},
  };
  for (const Case& c : cases) {
    const CharacterSet set = CharacterSetFor(c.n);
    EXPECT_TRUE(set.known) << c.n;
    EXPECT_EQ(set.Apply(c.byte), c.want) << set.info->name << " " << char(c.byte);
  }
  // Bytes outside the twelve are never replaced; every set replaces only those twelve.
  for (const CharacterSetInfo& s : CharacterSets())
    for (int b = 0x20; b < 0x7F; ++b) {
      const bool national =
          std::find(kNationalBytes.begin(), kNationalBytes.end(), b) != kNationalBytes.end();
      if (!national) {
        EXPECT_EQ(CharacterSetFor(s.n).Apply(static_cast<std::uint8_t>(b)), char32_t(b));
      }
    }
  const CharacterSet unknown = CharacterSetFor(99);
  EXPECT_FALSE(unknown.known);
  EXPECT_EQ(unknown.info->name, "USA");
  EXPECT_EQ(unknown.Apply('@'), U'@');
}

}  // namespace
}  // namespace tillvane::render
