#include "render/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <mutex>

namespace tillvane::render {
namespace {

// The printer's numbering of its code pages; only those glibc's iconv can decode.
constexpr CodePageInfo kCodePages[] = {
    {0, "PC437", "CP437"},     {2, "PC850", "CP850"},           {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},     {5, "PC865", "CP865"},           {11, "PC851", "CP851"},
    {13, "PC857", "CP857"},    {14, "PC737", "CP737"},          {15, "ISO8859-7", "ISO-8859-7"},
    {16, "WPC1252", "CP1252"}, {17, "PC866", "CP866"},          {18, "PC852", "CP852"},
    {19, "PC858", "CP858"},    {33, "PC775", "CP775"},          {34, "PC855", "CP855"},
    {35, "PC861", "CP861"},    {36, "PC862", "CP862"},          {37, "PC864", "CP864"},
    {38, "PC869", "CP869"},    {39, "ISO8859-2", "ISO-8859-2"}, {40, "ISO8859-15", "ISO-8859-15"},
    {44, "PC1125", "CP1125"},  {45, "WPC1250", "CP1250"},       {46, "WPC1251", "CP1251"},
    {47, "WPC1253", "CP1253"}, {48, "WPC1254", "CP1254"},       {49, "WPC1255", "CP1255"},
    {50, "WPC1256", "CP1256"}, {51, "WPC1257", "CP1257"},       {52, "WPC1258", "CP1258"},
};
constexpr std::size_t kCount = std::size(kCodePages);

// The upper halves, each decoded once, when first asked for.
struct Decoded {
  std::once_flag once;
  UpperHalf upper{};
  bool ok = false;
};
Decoded g_decoded[kCount];

// One byte through iconv to a code point; 0 when the byte names no character. Windows-1258
// holds a character back in case a combining mark follows, so the state is flushed.
char32_t DecodeByte(iconv_t cd, std::uint8_t byte) {
  char in = static_cast<char>(byte);
  char32_t out = 0;
  char* src = &in;
  char* dst = reinterpret_cast<char*>(&out);
  std::size_t srcLeft = 1, dstLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0)
    return 0;
  if (dstLeft != 0 && iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1))
    return 0;
  return dstLeft == 0 ? out : 0;
}

void Build(std::size_t i) {
  Decoded& d = g_decoded[i];
  const std::string charset(kCodePages[i].charset);
  iconv_t cd = iconv_open("UTF-32LE", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return;
  for (int b = 0; b < 128; ++b) d.upper[b] = DecodeByte(cd, static_cast<std::uint8_t>(0x80 + b));
  iconv_close(cd);
  // A table iconv answered with nothing is as good as missing.
  d.ok = std::any_of(d.upper.begin(), d.upper.end(), [](char32_t c) { return c != 0; });
}

const Decoded& Table(std::size_t i) {
  std::call_once(g_decoded[i].once, Build, i);
  return g_decoded[i];
}

// The twelve characters of each set in the order of kNationalBytes.
constexpr CharacterSetInfo kSets[] = {
    {0, "USA", {U'#', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {1, "France", {U'#', U'$', U'à', U'°', U'ç', U'§', U'^', U'`', U'é', U'ù', U'è', U'¨'}},
    {2, "Germany", {U'#', U'$', U'§', U'Ä', U'Ö', U'Ü', U'^', U'`', U'ä', U'ö', U'ü', U'ß'}},
    {3, "UK", {U'£', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {4, "Denmark I", {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', U'~'}},
    {5, "Sweden", {U'#', U'¤', U'É', U'Ä', U'Ö', U'Å', U'Ü', U'é', U'ä', U'ö', U'å', U'ü'}},
    {6, "Italy", {U'#', U'$', U'@', U'°', U'\\', U'é', U'^', U'ù', U'à', U'ò', U'è', U'ì'}},
    {7, "Spain I", {U'₧', U'$', U'@', U'¡', U'Ñ', U'¿', U'^', U'`', U'¨', U'ñ', U'}', U'~'}},
    {8, "Japan", {U'#', U'$', U'@', U'[', U'¥', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {9, "Norway", {U'#', U'¤', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'}},
    {10, "Denmark II", {U'#', U'$', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'}},
    {11, "Spain II", {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'`', U'í', U'ñ', U'ó', U'ú'}},
    {12, "Latin America", {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'ü', U'í', U'ñ', U'ó', U'ú'}},
    {13, "Korea", {U'#', U'$', U'@', U'[', U'₩', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {14,
     "Slovenia/Croatia",
     {U'#', U'$', U'Ž', U'Š', U'Đ', U'Ć', U'Č', U'ž', U'š', U'đ', U'ć', U'č'}},
    {15, "China", {U'#', U'¥', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {16, "Vietnam", {U'#', U'₫', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
};

// Byte → position in kNationalBytes, or -1.
constexpr std::array<std::int8_t, 128> kNationalIndex = [] {
  std::array<std::int8_t, 128> t{};
  t.fill(-1);
  for (std::size_t i = 0; i < kNationalBytes.size(); ++i)
    t[kNationalBytes[i]] = static_cast<std::int8_t>(i);
  return t;
}();

}  // namespace

std::span<const CodePageInfo> CodePages() {
  return kCodePages;
}

CodePage CodePageFor(int n) {
  const auto* row = std::find_if(std::begin(kCodePages), std::end(kCodePages),
                                 [n](const CodePageInfo& c) { return c.n == n; });
  if (row != std::end(kCodePages)) {
    const Decoded& d = Table(static_cast<std::size_t>(row - std::begin(kCodePages)));
    if (d.ok) return {row, &d.upper, true};
  }
  return {&kCodePages[0], &Table(0).upper, false};
}

std::span<const CharacterSetInfo> CharacterSets() {
  return kSets;
}

char32_t CharacterSet::Apply(std::uint8_t byte) const {
  if (byte >= 0x80) return byte;
  const int i = kNationalIndex[byte];
  return i < 0 ? byte : info->chars[static_cast<std::size_t>(i)];
}

CharacterSet CharacterSetFor(int n) {
  const auto* row = std::find_if(std::begin(kSets), std::end(kSets),
                                 [n](const CharacterSetInfo& s) { return s.n == n; });
  if (row == std::end(kSets)) return {&kSets[0], false};
  return {row, true};
}

}  // namespace tillvane::render
