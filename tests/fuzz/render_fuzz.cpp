// Fuzz target: the virtual printer's interpreter on any bytes.
// Byte 0 chooses the paper (bit 0: narrow; bit 4: a strip of 64 dots, which takes the
// same paths with less drawing; bit 5: the intl profile, single-byte text at power-on)
// and how the rest is cut into calls (bits 1-3: slices of 1, 2, 3, 5, 8, 13, 64 bytes or
// all at once); the rest is the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "render/printer.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using namespace tillvane::render;
  const int paper = (data[0] & 0x10) ? 64 : (data[0] & 1) ? kDotsNarrow : kDots80mm;
  static constexpr size_t kSlices[8] = {1, 2, 3, 5, 8, 13, 64, 0};
  const size_t slice = kSlices[(data[0] >> 1) & 7];
  const uint8_t* in = data + 1;
  const size_t n = size - 1;

  PrinterOptions options;
  options.paper_dots = paper;
  options.profile = (data[0] & 0x20) ? Profile::kIntl : Profile::kCn;
  uint64_t pages = 0;
  Printer printer(options, [&](Page&& page) {
    ++pages;
    Check(page.number == pages, "pages numbered in order");
    Check(page.dots.width() == paper, "page as wide as the paper");
    Check(page.dots.height() > 0, "no empty page");
    Check(page.dots.height() <= kMaxPageRows + 2, "page no taller than the limit and a cut");
    Check(page.dots.bits().size() == static_cast<size_t>(page.dots.stride()) * page.dots.height(),
          "page bits match its size");
  });
  if (slice == 0) {
    printer.Feed(in, n);
  } else {
    for (size_t i = 0; i < n; i += slice) printer.Feed(in + i, n - i < slice ? n - i : slice);
  }
  uint8_t replies[64];
  while (printer.ReadReplies(replies, sizeof replies) > 0) {
  }
  printer.Finish();
  const Report& r = printer.report();
  Check(r.bytes == n, "every byte taken");
  Check(r.unknown_bytes <= n, "no more unknown bytes than bytes");
  Check(r.unknown_offsets.size() <= Report::kMaxListed, "offsets listed are bounded");
  for (uint64_t at : r.unknown_offsets) Check(at < n, "unknown offsets inside the input");
  Check(r.notes.size() <= Report::kMaxListed, "notes are bounded");
  Check(r.not_drawn_notes.size() <= Report::kMaxListed, "not-drawn notes are bounded");
  Check(r.not_drawn_notes.size() <= r.not_drawn, "no more not-drawn notes than commands");
  Check(r.pages == pages, "pages counted");
  Check(printer.CurrentPage().height() == 0, "finish puts the paper out");
  return 0;
}
