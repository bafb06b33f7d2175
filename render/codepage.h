// Character tables of the virtual printer's single-byte text: the code pages ESC t n
// chooses for the bytes 0x80..0xFF, and the international character sets ESC R n puts in
// place of twelve ASCII characters. Plain C++; the code pages come from glibc's iconv.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tillvane::render {

// One code page the printer numbers: ESC t `n`, shown as `name`, decoded by iconv as
// `charset`.
struct CodePageInfo {
  int n;
  std::string_view name;
  std::string_view charset;
};

// Every code page Tillvane draws, by ESC t number.
std::span<const CodePageInfo> CodePages();

// The upper half of a code page: 0x80..0xFF to Unicode, 0 for a byte that names no
// character.
using UpperHalf = std::array<char32_t, 128>;

struct CodePage {
  const CodePageInfo* info;  // the table in use (PC437 when `known` is false)
  const UpperHalf* upper;    // never null; lives as long as the program
  bool known;                // false: ESC t n named a table Tillvane lacks, PC437 stands in

  // A byte of text in this code page as Unicode (bytes below 0x80 are ASCII).
  char32_t Decode(std::uint8_t byte) const { return byte < 0x80 ? byte : (*upper)[byte - 0x80]; }
};

// The code page ESC t `n` selects. Each table is built from iconv the first time it is
// asked for and kept; thread-safe. A number with no table, or a table iconv cannot build,
// gives PC437 and known = false, so the caller can say so once.
CodePage CodePageFor(int n);

// The twelve bytes an international character set replaces: 0x23 0x24 0x40 0x5B 0x5C 0x5D
// 0x5E 0x60 0x7B 0x7C 0x7D 0x7E, in that order.
inline constexpr std::array<std::uint8_t, 12> kNationalBytes = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                                                0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

struct CharacterSetInfo {
  int n;  // ESC R n
  std::string_view name;
  std::array<char32_t, 12> chars;  // what kNationalBytes print as
};

// Every international character set Tillvane draws, by ESC R number.
std::span<const CharacterSetInfo> CharacterSets();

struct CharacterSet {
  const CharacterSetInfo* info;  // the set in use (USA when `known` is false)
  bool known;

  // An ASCII byte as this set prints it; other bytes as they are.
  char32_t Apply(std::uint8_t byte) const;
};

// The set ESC R `n` selects; USA and known = false for a number with no set.
CharacterSet CharacterSetFor(int n);

}  // namespace tillvane::render
