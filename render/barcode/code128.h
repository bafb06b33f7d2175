// Code 128 for the virtual printer: GS k data into symbol values, and symbol values into
// modules. Our own encoder, because the printer's code-set selectors ("{A", "{B", "{C",
// "{S", "{1".."{4") fix the code set of every symbol, and a library that chooses code sets
// by itself cannot draw what the printer draws.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tillvane::render::code128 {

inline constexpr int kStartA = 103, kStartB = 104, kStartC = 105, kStop = 106;
inline constexpr int kShift = 98, kCodeC = 99, kFnc1 = 102;

// Bar and space widths in modules, bar first, of every symbol value 0..105 (six elements,
// eleven modules) and of the stop (value 106: seven elements, thirteen modules).
extern const std::array<std::string_view, 107> kPatterns;

struct Symbols {
  bool ok = false;
  std::string error;
  std::vector<int> values;    // start code, data symbols, check symbol; the stop is implied
  std::string text;           // the characters the symbol carries (code set C as digit pairs)
  bool symbolValues = false;  // the data was read as symbol values (see Encode)
};

// Symbol values of GS k 73 data. Two forms reach the printer; Encode tells them apart as
// its definition explains.
Symbols Encode(std::span<const std::uint8_t> data);

// (start + sum of position × value) mod 103 over `values`, which begin with the start code.
int Checksum(std::span<const int> values);

// The modules of `values` followed by the stop: 1 a bar module, 0 a space module.
std::vector<std::uint8_t> Modules(std::span<const int> values);

}  // namespace tillvane::render::code128
