// The Code 128 encoder: its table against the symbology's own rules and against zint's
// drawing of the same symbols, the check symbol, and how the two data forms are read.
#include <zint.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/barcode/code128.h"

namespace tillvane::render::code128 {
namespace {

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Code128Table, EverySymbolFollowsTheSymbologyRules) {
  std::set<std::string_view> seen;
  for (int v = 0; v <= kStop; ++v) {
    const std::string_view p = kPatterns[v];
    const bool stop = v == kStop;
    ASSERT_EQ(p.size(), stop ? 7u : 6u) << v;
    int bars = 0, spaces = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      ASSERT_TRUE(p[i] >= '1' && p[i] <= '4') << v;
      (i % 2 == 0 ? bars : spaces) += p[i] - '0';
    }
    EXPECT_EQ(bars + spaces, stop ? 13 : 11) << v;
    // Bars of a symbol always take an even number of modules, spaces an odd one.
    EXPECT_EQ(bars % 2, 0) << v;
    EXPECT_EQ(spaces % 2, 1) << v;
    EXPECT_TRUE(seen.insert(p).second) << "pattern of " << v << " repeats";
  }
}

// zint's modules for `text` cut back into symbols through our table. Every 11 modules
// must be a symbol we know, so a wrong table entry shows as a symbol zint never drew.
std::vector<int> ZintValues(int symbology, const std::string& text) {
  std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> z(ZBarcode_Create(), ZBarcode_Delete);
  z->symbology = symbology;
  z->show_hrt = 0;
  z->output_options = BARCODE_NO_QUIET_ZONES;
  EXPECT_LT(ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size())),
            ZINT_ERROR)
      << z->errtxt;
  std::string modules;
  for (int x = 0; x < z->width; ++x)
    modules += (z->encoded_data[0][x >> 3] >> (x & 7)) & 1 ? '1' : '0';
  std::map<std::string, int> byModules;
  for (int v = 0; v < kStop; ++v) {
    std::string m;
    char bar = '1';
    for (char w : kPatterns[v]) {
      m.append(static_cast<std::size_t>(w - '0'), bar);
      bar = bar == '1' ? '0' : '1';
    }
    byModules[m] = v;
  }
  std::vector<int> values;
  EXPECT_EQ(modules.substr(modules.size() >= 13 ? modules.size() - 13 : 0), "1100011101011");
  for (std::size_t at = 0; at + 13 < modules.size(); at += 11) {
    auto it = byModules.find(modules.substr(at, 11));
    EXPECT_NE(it, byModules.end()) << "zint drew an unknown symbol at module " << at;
    values.push_back(it == byModules.end() ? -1 : it->second);
  }
  return values;
}

TEST(Code128Table, MatchesZintsDrawingOfTheSameSymbols) {
  // Code set B only: every printable character and DEL, in chunks, and zint's check.
  std::set<int> covered;
  for (int first = 0x20; first < 0x80; first += 24) {
    std::string text;
    for (int c = first; c < first + 24 && c < 0x80; ++c) text += static_cast<char>(c);
    const std::vector<int> z = ZintValues(BARCODE_CODE128B, text);
    std::string escaped = "{B";
    for (char c : text) escaped += c == '{' ? std::string("{{") : std::string(1, c);
    const Symbols ours = Encode(Span(escaped));
    ASSERT_TRUE(ours.ok) << ours.error;
    EXPECT_EQ(ours.values, z) << text;
    covered.insert(z.begin(), z.end());
  }
  // zint's own choice of code sets: start A and C, code-set changes, shift and FNC1.
  for (const std::string text : {"123456",
                                 "\x01\x02"
                                 "AB",
                                 "AB1234CD",
                                 "\x01"
                                 "a\x02",
                                 "ab\x01"
                                 "cd",
                                 "ab\x01\x02\x03"
                                 "cd"}) {
    const std::vector<int> z = ZintValues(BARCODE_CODE128, text);
    covered.insert(z.begin(), z.end());
  }
  const std::vector<int> gs1 = ZintValues(BARCODE_GS1_128, "[01]12345678901231");
  covered.insert(gs1.begin(), gs1.end());
  for (int v : {kStartA, kStartB, kStartC, kShift, kCodeC, 100, 101, kFnc1})
    EXPECT_TRUE(covered.count(v)) << "value " << v << " not compared with zint";
}

TEST(Code128Checksum, KnownExamples) {
  // "PJJ123C" in code set B: 104 + 48 + 2·42 + 3·42 + 4·17 + 5·18 + 6·19 + 7·35 = 879.
  const std::vector<int> pjj = {kStartB, 48, 42, 42, 17, 18, 19, 35};
  EXPECT_EQ(Checksum(pjj), 879 % 103);
  // "CODE128" in code set A: 103 + 35 + 2·47 + 3·36 + 4·37 + 5·17 + 6·18 + 7·24 = 849.
  const std::vector<int> code = {kStartA, 35, 47, 36, 37, 17, 18, 24};
  EXPECT_EQ(Checksum(code), 849 % 103);
  // Code set C "123456": 105 + 12 + 2·34 + 3·56 = 353.
  EXPECT_EQ(Checksum(std::vector<int>{kStartC, 12, 34, 56}), 353 % 103);
  // Only the start: the start itself, which is over 103 for none of them.
  EXPECT_EQ(Checksum(std::vector<int>{kStartC}), kStartC % 103);
}

TEST(Code128Modules, SymbolsThenStop) {
  const std::vector<std::uint8_t> m = Modules(std::vector<int>{kStartB, 0, 57});
  ASSERT_EQ(m.size(), 3u * 11 + 13);
  const std::vector<std::uint8_t> start = {1, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0};  // 211214
  EXPECT_EQ(std::vector<std::uint8_t>(m.begin(), m.begin() + 11), start);
  const std::vector<std::uint8_t> stop = {1, 1, 0, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1};  // 2331112
  EXPECT_EQ(std::vector<std::uint8_t>(m.end() - 13, m.end()), stop);
}

struct FormCase {
  const char* what;
  std::string data;
  std::vector<int> values;  // without the check symbol
  std::string text;
  bool symbolValues;
};

TEST(Code128Encode, ReadsBothFormsAndTellsThemApart) {
  const std::vector<FormCase> cases = {
      // Tillvane's builder: "{ACODE128" with every byte after the prefix minus 0x20.
      {"builder, set A",
       "{A\x23\x2F\x24\x25\x11\x12\x18",
       {103, 35, 47, 36, 37, 17, 18, 24},
       "CODE128",
       true},
      // Digits and spaces become bytes below 0x20, which set B has no character for.
      {"builder, set B with digits",
       std::string("{B\x28\x45\x4C\x4C\x4F\x00\x11\x12", 10),
       {104, 40, 69, 76, 76, 79, 0, 17, 18},
       "Hello 12",
       true},
      // A control character of set A comes out of the builder as 0xE0..0xFF.
      {"builder, set A control", "{A\x21\xE9\x22", {103, 33, 73, 34}, "A\tB", true},
      // Code set C is the same bytes in both forms.
      {"set C", "{C\x0C\x22\x38", {105, 12, 34, 56}, "123456", false},
      {"set C from ASCII digits", "{C12", {105, 49, 50}, "4950", false},
      // Other software's text: valid read either way, fewer control codes as characters.
      {"characters, set B", "{BABC-123", {104, 33, 34, 35, 13, 17, 18, 19}, "ABC-123", false},
      {"characters, set A digits", "{A12345", {103, 17, 18, 19, 20, 21}, "12345", false},
      {"characters, lower case", "{BHello", {104, 40, 69, 76, 76, 79}, "Hello", false},
      // Letters only stay in doubt and are read as characters, the printer's own reading.
      {"characters, letters in doubt", "{BABC", {104, 33, 34, 35}, "ABC", false},
      {"characters, no prefix", "Ab1", {104, 33, 66, 17}, "Ab1", false},
      {"escapes",
       "{Bab{3c{2d{S\x01"
       "e{C\x0C\x22{1{AXY",
       {104, 65, 66, 96, 67, 97, 68, 98, 65, 69, 99, 12, 34, 102, 101, 56, 57},
       "abcd\x01"
       "e1234XY",
       false},
      // FNC4 raises the next character by 128 (0xC2, 0xC4: Latin-1 capitals with marks).
      {"FNC4 in A and B",
       "{AA{4B{BC{4D",
       {103, 33, 101, 34, 100, 35, 100, 36},
       "A\xC2"
       "C\xC4",
       false},
      {"literal brace", "{B{{x", {104, 91, 88}, "{x", false},
      {"reselecting the set adds nothing", "{BA{BB", {104, 33, 34}, "AB", false},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Symbols s = Encode(Span(c.data));
    ASSERT_TRUE(s.ok) << s.error;
    std::vector<int> expected = c.values;
    expected.push_back(Checksum(c.values));
    EXPECT_EQ(s.values, expected);
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.symbolValues, c.symbolValues);
  }
}

TEST(Code128Encode, RefusesWhatNeitherFormCanHold) {
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"{A", "no data"},
      {"{B{", "ends the data"},
      {"{Bab{", "ends the data"},
      {"{Bab{X", "no code-set selector"},
      {"{C\x64", "0..99"},
      {"{C{{", "0..99"},
      {"{C{S\x01", "code set C"},
      {"{C{2", "code set C"},
      {"{B{S", "shifts no character"},
      {"{B{S{A", "needs a character"},
      {"{Aa", "code set A"},      // lower case: not in set A, nor a symbol value
      {"{Ba\x10", "code set B"},  // the builder's 'a' and DLE: DLE fits neither
      {std::string("\x80"), "code set B"},
  };
  for (const auto& [data, what] : cases) {
    const Symbols s = Encode(Span(data));
    EXPECT_FALSE(s.ok) << data;
    EXPECT_NE(s.error.find(what), std::string::npos) << data << ": " << s.error;
  }
}

}  // namespace
}  // namespace tillvane::render::code128
