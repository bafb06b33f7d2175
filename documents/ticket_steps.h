// Small steps the sample documents are written in. A document runs as one run of sends
// that ends at its first failure (RunDocument), so the steps need not look at results.
#pragma once

#include <cstdint>

#include "commands/posfun.h"
#include "commands/send_run.h"

namespace tillvane::steps {

inline uint8_t Low(int32_t n) {
  return static_cast<uint8_t>(n & 0xFF);
}
inline uint8_t High(int32_t n) {
  return static_cast<uint8_t>((n >> 8) & 0xFF);
}

// Positions and sizes as one 16-bit number, sent low byte first.
inline void X(int32_t n) {
  SetAbsolutePosition(Low(n), High(n));
}
inline void Y(int32_t n) {
  SetAbsoluteVerticalPosition(Low(n), High(n));
}
inline void Down(int32_t n) {
  SetRelativeVerticalPosition(Low(n), High(n));
}
inline void Text(const char* text) {
  PrintText(text);
}
inline void Lf(int count = 1) {
  for (int i = 0; i < count; ++i) PrintAndLineFeed();
}

// x, then the text.
inline void At(int32_t x, const char* text) {
  X(x);
  Text(text);
}

// x, down, then the text; a null text sends only the two positions.
inline void AtDown(int32_t x, int32_t down, const char* text) {
  X(x);
  Down(down);
  if (text != nullptr) Text(text);
}

// One positioned line of a document's text table.
struct Line {
  int32_t x;
  int32_t down;
  const char* text;  // null: positions only
};

template <int32_t N>
void Lines(const Line (&lines)[N]) {
  for (const Line& l : lines) AtDown(l.x, l.down, l.text);
}

// A print area at the origin, width by height.
inline void PageArea(int32_t width, int32_t height) {
  SetPageArea(0, 0, 0, 0, Low(width), High(width), Low(height), High(height));
}

// Runs a document as one run of sends: its first failed send ends it, nothing more of
// it is sent, and that send's result is the document's. An exception ends it with -1.
template <typename First, typename Body>
int32_t RunDocument(First first, Body body) noexcept {
  try {
    StopAtFirstFailure run;
    if (int32_t r = first(); r != 0) return r;
    body();
    return run.result();
  } catch (...) {
    return -1;
  }
}

}  // namespace tillvane::steps
