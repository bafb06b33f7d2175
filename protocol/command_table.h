// The printer's command language as one table: one row per command, with the bytes
// that introduce it, how its length is found, a short name and its meaning.
//
// A command starts with its introducer: one control byte (LF), or one followed by one
// or two more (ESC a, GS V m). The third introducer byte may be a range (GS k 65..73).
// Rows are matched in table order, so a narrower row ahead of a wider one wins (DLE
// EOT 7 before DLE EOT n).
//
// Some families share one way of finding their length but have many sub-functions
// (GS ( k cn fn, GS 8 L m fn): those are one family row, which decides the length, and
// rows that only name a sub-function by the bytes at `sub_at`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tillvane::protocol {

// How a command's length is found. `header` is the length of its fixed part; the
// parameters named below are at fixed places of that part.
enum class Length : uint8_t {
  kFixed,       // `header` bytes, nothing more
  kZeroEnded,   // data after the header up to a zero byte, at most `limit` bytes of it
  kCountByte,   // GS k 65..73 m n: n data bytes (n at 3)
  kCount16,     // GS ( x pL pH: pL + 256 pH data bytes (at 3)
  kCount32,     // GS 8 L p1 p2 p3 p4: p1..p4 data bytes (at 3), at most kMaxGraphicsBytes
  kRaster,      // GS v 0 m xL xH yL yH: y rows of x bytes (x at 4, y at 6)
  kRamLogo,     // GS * x y: x * y * 8 bytes
  kBitImage,    // ESC * m nL nH: n columns of 1 byte (m 0, 1) or 3 bytes (m 32, 33)
  kFlashLogos,  // FS q n: n images, each xL xH yL yH and x * y * 8 bytes
  kUserChars,   // ESC & y c1 c2: per character c1..c2 its width x and y * x bytes
};

struct CommandRow {
  std::string_view name;     // "GS k", "ESC a", "GS ( k 49 81"
  std::string_view meaning;  // "Select justification"
  uint8_t intro[3];
  uint8_t intro_size;  // 1..3; with 3 the third byte is any of intro[2]..last
  uint8_t last;        // the top of the third byte's range
  Length length;
  uint8_t header;  // bytes of the fixed part
  uint16_t limit;  // kZeroEnded: most data bytes before the zero
  // A row that only names a sub-function of its family (the row of the same
  // introducer that decides the length, whose length it repeats): by its introducer's
  // third byte, and by up to two bytes at sub_at.
  bool names_only;
  uint8_t sub_at;
  uint8_t sub_size;
  uint8_t sub[2];
};

// Every command, in the order they are matched.
std::span<const CommandRow> CommandTable();

// The row that decides the length of the command starting with `prefix`: the row, or
// nullptr with *need_more set when more bytes are needed to tell, or nullptr with
// *need_more clear when no command starts so.
const CommandRow* MatchCommand(const uint8_t* prefix, size_t size, bool* need_more);

// The most specific row naming the complete command `bytes` found by `row`: a
// sub-function row of its family when one matches, otherwise `row`.
const CommandRow* NameCommand(const CommandRow* row, std::span<const uint8_t> bytes);

// The meaning of the complete command `bytes` of `row` with its parameters in words
// ("Print a bar code: Code 128, 13 bytes"), read from the row; the row's meaning alone
// for a row that says nothing of its parameters.
std::string Describe(const CommandRow& row, std::span<const uint8_t> bytes);

}  // namespace tillvane::protocol
