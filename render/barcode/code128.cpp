#include "render/barcode/code128.h"

#include <cstdio>
#include <optional>

namespace tillvane::render::code128 {

// Bar, space, bar, space, bar, space widths in modules.
const std::array<std::string_view, 107> kPatterns = {
    "212222",  "222122", "222221", "121223", "121322", "131222", "122213", "122312",  // 0
    "132212",  "221213", "221312", "231212", "112232", "122132", "122231", "113222",  // 8
    "123122",  "123221", "223211", "221132", "221231", "213212", "223112", "312131",  // 16
    "311222",  "321122", "321221", "312212", "322112", "322211", "212123", "212321",  // 24
    "232121",  "111323", "131123", "131321", "112313", "132113", "132311", "211313",  // 32
    "231113",  "231311", "112133", "112331", "132131", "113123", "113321", "133121",  // 40
    "313121",  "211331", "231131", "213113", "213311", "213131", "311123", "311321",  // 48
    "331121",  "312113", "312311", "332111", "314111", "221411", "431111", "111224",  // 56
    "111422",  "121124", "121421", "141122", "141221", "112214", "112412", "122114",  // 64
    "122411",  "142112", "142211", "241211", "221114", "413111", "241112", "134111",  // 72
    "111242",  "121142", "121241", "114212", "124112", "124211", "411212", "421112",  // 80
    "421211",  "212141", "214121", "412121", "111143", "111341", "131141", "114113",  // 88
    "114311",  "411113", "411311", "113141", "114131", "311141", "411131",            // 96
    "211412",  "211214", "211232",                                                    // starts
    "2331112",                                                                        // stop
};

namespace {

enum class Set { A, B, C };

// Code-set changes (each in the sets it leads away from) and functions.
constexpr int kCodeB = 100, kCodeA = 101;
constexpr int kFnc2 = 97, kFnc3 = 96, kFnc4InA = 101, kFnc4InB = 100;

// The symbol value of character c in code set A or B, or nothing when the set lacks it.
std::optional<int> CharValue(Set set, unsigned c) {
  if (set == Set::A) {
    if (c < 0x20) return static_cast<int>(c + 64);
    if (c < 0x60) return static_cast<int>(c - 0x20);
    return std::nullopt;
  }
  if (c >= 0x20 && c < 0x80) return static_cast<int>(c - 0x20);
  return std::nullopt;
}

const char* SetName(Set s) {
  return s == Set::A ? "A" : s == Set::B ? "B" : "C";
}

std::string ByteError(std::uint8_t b, std::size_t at, const char* what) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "CODE128: byte 0x%02X at offset %zu %s", b, at, what);
  return buf;
}

Symbols Fail(std::string error) {
  Symbols s;
  s.error = std::move(error);
  return s;
}

std::optional<Set> PrefixSet(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data[0] != '{') return std::nullopt;
  switch (data[1]) {
    case 'A':
      return Set::A;
    case 'B':
      return Set::B;
    case 'C':
      return Set::C;
    default:
      return std::nullopt;
  }
}

int StartCode(Set s) {
  return s == Set::A ? kStartA : s == Set::B ? kStartB : kStartC;
}

// The form other software sends: characters of the current code set, with the printer's
// escapes. "{A" "{B" "{C" select a code set, "{S" shifts the next character between A and
// B, "{1".."{4" are FNC1..FNC4, "{{" is the character '{'. Code set C takes one byte
// 0..99 per symbol. Data without a leading code-set selector starts in code set B.
Symbols ReadCharacters(std::span<const std::uint8_t> data) {
  Symbols s;
  Set set = Set::B;
  std::size_t i = 0;
  if (auto p = PrefixSet(data)) {
    set = *p;
    i = 2;
  }
  s.values.push_back(StartCode(set));
  bool shifted = false;   // the next character is in the other of A and B
  bool extended = false;  // FNC4: the next character's code is 128 higher
  std::size_t dataSymbols = 0;
  while (i < data.size()) {
    const std::uint8_t c = data[i];
    const std::size_t at = i;
    bool literalBrace = false;
    if (c == '{') {
      if (i + 1 >= data.size()) return Fail(ByteError(c, at, "('{') ends the data"));
      const std::uint8_t e = data[i + 1];
      i += 2;
      if (e == '{') {
        literalBrace = true;
      } else {
        if (shifted) return Fail(ByteError(c, at, "follows {S, which needs a character"));
        switch (e) {
          case 'A':
          case 'B':
          case 'C': {
            const Set to = e == 'A' ? Set::A : e == 'B' ? Set::B : Set::C;
            if (to != set)
              s.values.push_back(to == Set::A ? kCodeA : to == Set::B ? kCodeB : kCodeC);
            set = to;
            break;
          }
          case 'S':
            if (set == Set::C)
              return Fail(ByteError(e, at + 1, "({S) has no meaning in code set C"));
            s.values.push_back(kShift);
            shifted = true;
            break;
          case '1':
            s.values.push_back(kFnc1);
            ++dataSymbols;
            break;
          case '2':
          case '3':
          case '4':
            if (set == Set::C)
              return Fail(ByteError(e, at + 1, "(FNC2..4) has no meaning in code set C"));
            if (e == '2') s.values.push_back(kFnc2);
            if (e == '3') s.values.push_back(kFnc3);
            if (e == '4') {
              s.values.push_back(set == Set::A ? kFnc4InA : kFnc4InB);
              extended = true;
            }
            ++dataSymbols;
            break;
          default:
            return Fail(ByteError(e, at + 1, "after '{' is no code-set selector or function"));
        }
        continue;
      }
    } else {
      ++i;
    }
    // One data character.
    if (set == Set::C && !shifted) {
      if (literalBrace || c > 99)
        return Fail(ByteError(c, at, "is not a value 0..99 of code set C"));
      s.values.push_back(c);
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02u", static_cast<unsigned>(c));
      s.text += pair;
      extended = false;  // an FNC4 before a change to code set C raises nothing
    } else {
      const Set in = shifted ? (set == Set::A ? Set::B : Set::A) : set;
      const std::optional<int> v = CharValue(in, c);
      if (!v) {
        const std::string what = std::string("is not a character of code set ") + SetName(in);
        return Fail(ByteError(c, at, what.c_str()));
      }
      s.values.push_back(*v);
      s.text += static_cast<char>(extended ? c + 0x80 : c);
      shifted = false;
      extended = false;
    }
    ++dataSymbols;
  }
  if (shifted) return Fail("CODE128: {S at the end of the data shifts no character");
  if (dataSymbols == 0) return Fail("CODE128: no data after the code-set selector");
  s.ok = true;
  return s;
}

// The form Tillvane's own builder sends: "{A" or "{B", then each character of the text as
// its Code 128 symbol value, the character minus 0x20 (modulo 256). Adding 0x20 back gives
// the text, which must fit the one code set throughout: the builder has no escapes.
Symbols ReadSymbolValues(std::span<const std::uint8_t> data, Set set) {
  Symbols s;
  s.values.push_back(StartCode(set));
  for (std::size_t i = 2; i < data.size(); ++i) {
    const unsigned c = (data[i] + 0x20u) & 0xFFu;
    const std::optional<int> v = CharValue(set, c);
    if (!v) return Fail(ByteError(data[i], i, "is no symbol value of a character"));
    s.values.push_back(*v);
    s.text += static_cast<char>(c);
  }
  if (s.values.size() < 2) return Fail("CODE128: no data after the code-set selector");
  s.symbolValues = true;
  s.ok = true;
  return s;
}

std::size_t ControlCharacters(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += c < 0x20 || c == 0x7F;
  return n;
}

}  // namespace

// Telling the two forms apart. Both begin with a code-set selector, and with "{C" they are
// the same bytes (the builder sends code set C unchanged, one value 0..99 per byte), so
// only data beginning "{A" or "{B" is in doubt. It is read both ways:
// - When only one reading is valid, that one is taken. Symbol values are never '{' (that
//   would be character 0x9B), so data with escapes after the prefix is always characters;
//   and the builder turns digits and spaces into bytes below 0x20, which code set B has no
//   character for.
// - When both are valid, the symbol values are taken only when they give a text with fewer
//   control characters than the characters' own reading: "{ACODE128" from the builder
//   reads as "#/$%" and three control codes as characters, but as "CODE128" as values.
//   Other software's text seldom holds control codes, and a tie keeps the characters, the
//   reading every printer makes. Text made only of letters stays in doubt ("{Babc" from
//   the builder is the same bytes as "{BABC" from anyone else) and is read as characters.
Symbols Encode(std::span<const std::uint8_t> data) {
  Symbols chars = ReadCharacters(data);
  const std::optional<Set> prefix = PrefixSet(data);
  Symbols* pick = &chars;
  Symbols values;
  if (prefix && *prefix != Set::C) {
    values = ReadSymbolValues(data, *prefix);
    if (values.ok && (!chars.ok || ControlCharacters(values.text) < ControlCharacters(chars.text)))
      pick = &values;
  }
  if (pick->ok) pick->values.push_back(Checksum(pick->values));
  return std::move(*pick);
}

int Checksum(std::span<const int> values) {
  if (values.empty()) return 0;
  long sum = values[0];
  for (std::size_t i = 1; i < values.size(); ++i) sum += static_cast<long>(i) * values[i];
  return static_cast<int>(sum % 103);
}

std::vector<std::uint8_t> Modules(std::span<const int> values) {
  std::vector<std::uint8_t> out;
  out.reserve(values.size() * 11 + 13);
  auto put = [&](std::string_view pattern) {
    std::uint8_t bar = 1;
    for (char w : pattern) {
      out.insert(out.end(), static_cast<std::size_t>(w - '0'), bar);
      bar ^= 1;
    }
  };
  for (int v : values)
    if (v >= 0 && v < kStop) put(kPatterns[static_cast<std::size_t>(v)]);
  put(kPatterns[kStop]);
  return out;
}

}  // namespace tillvane::render::code128
