// The interpreter as a stream: any split of the input, input cut short anywhere, bad and
// random input, the back channel, and the bounds it keeps.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Ink;
using testing::Render;
using testing::Text;

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10, LF = 0x0A;

bool SamePages(const testing::Rendered& a, const testing::Rendered& b) {
  if (a.pages.size() != b.pages.size()) return false;
  for (size_t i = 0; i < a.pages.size(); ++i)
    if (!(a.pages[i].dots == b.pages[i].dots) || a.pages[i].cut != b.pages[i].cut) return false;
  return true;
}

class StreamTest : public ::testing::Test {
 protected:
  tillvane::testing::ScopedTempDir dir_;
};

TEST_F(StreamTest, AnySplitOfTheInputPrintsTheSame) {
  const Bytes logos = testing::LogoDownloadBytes();
  for (const auto& d : testing::SampleDocuments()) {
    const Bytes in = Cat({logos, testing::DocumentBytes(d)});
    const int paper = d.narrow ? kDotsNarrow : kDots80mm;
    const auto whole = Render(in, paper);
    for (size_t slice : {1u, 2u, 3u, 7u, 64u}) {
      const auto sliced = Render(in, paper, slice);
      EXPECT_TRUE(SamePages(whole, sliced)) << d.name << " in slices of " << slice;
      EXPECT_EQ(sliced.report.notes, whole.report.notes) << d.name;
    }
  }
}

TEST_F(StreamTest, InputCutShortAnywhereLosesOnlyTheRest) {
  for (const auto& d : testing::SampleDocuments()) {
    const Bytes in = testing::DocumentBytes(d);
    const int paper = d.narrow ? kDotsNarrow : kDots80mm;
    const auto whole = Render(in, paper);
    for (size_t cut = 0; cut < in.size(); ++cut) {
      const auto part = Render(Bytes(in.begin(), in.begin() + cut), paper);
      // Pages that were cut before the input ended are those of the whole document.
      for (size_t i = 0; i < part.pages.size(); ++i) {
        if (part.pages[i].cut == Cut::kNone) continue;
        ASSERT_LT(i, whole.pages.size());
        ASSERT_TRUE(part.pages[i].dots == whole.pages[i].dots) << d.name << " cut at " << cut;
      }
      EXPECT_EQ(part.report.bytes, cut);
      for (uint64_t at : part.report.unknown_offsets) EXPECT_LT(at, cut);
    }
  }
}

TEST_F(StreamTest, AnImageLargerThanTheMemoryIsRefusedAndItsDataSkipped) {
  // GS * 255 x 255 claims 520200 bytes, far above the 912 x 8 a RAM logo may hold.
  Bytes in = {GS, '#', 1, GS, '*', 255, 255};
  in.resize(in.size() + 255 * 255 * 8, 0x1B);  // data that would be commands if read as such
  in = Cat({in, Text("after"), {LF}, {GS, '/', 0}});
  PrinterOptions options;
  std::vector<Page> pages;
  Printer p(options, [&](Page&& page) { pages.push_back(std::move(page)); });
  p.Feed(in);
  p.Finish();
  EXPECT_TRUE(p.RamLogoNumbers().empty());
  EXPECT_EQ(p.report().unknown_bytes, 0u);
  ASSERT_GE(p.report().notes.size(), 2u);
  EXPECT_NE(p.report().notes[0].find("GS * 255 x 255"), std::string::npos);
  EXPECT_NE(p.report().notes[1].find("never defined"), std::string::npos);
  ASSERT_EQ(pages.size(), 1u);
  const auto box = Ink(pages[0].dots);
  EXPECT_FALSE(box.empty());
  EXPECT_LT(box.bottom, 24);  // the one line of text
}

TEST_F(StreamTest, UnknownBytesAreCountedWithTheFirstTwentyOffsets) {
  // 0x01 is no command, ESC z is no command (both bytes count), GS k 99 has no form.
  auto r = Render(Cat({Text("ab"), {0x01}, Text("cd"), {ESC, 'z'}, Text("e"), {GS, 'k', 99}}));
  EXPECT_EQ(r.report.unknown_bytes, 6u);
  EXPECT_EQ(r.report.unknown_offsets, (std::vector<uint64_t>{2, 5, 6, 8, 9, 10}));
  ASSERT_EQ(r.pages.size(), 1u);  // the text still prints
  EXPECT_FALSE(Ink(r.pages[0].dots).empty());

  Bytes many;
  for (int i = 0; i < 50; ++i) many = Cat({many, Text("x"), {0x02}});
  r = Render(many);
  EXPECT_EQ(r.report.unknown_bytes, 50u);
  ASSERT_EQ(r.report.unknown_offsets.size(), Report::kMaxListed);
  EXPECT_EQ(r.report.unknown_offsets.back(), 39u);
}

TEST_F(StreamTest, CommandsReadButNotDrawnAreNamedAndTheAcceptedOnesAreNot) {
  // FS 2 (a user-defined Chinese character) and FS C (the double-byte code system) are
  // read by their length and not drawn; the drawer pulses, smoothing and the panel
  // buttons have nothing to draw and are taken silently.
  const Bytes fs2 = Cat({{FS, '2', 0xFE, 0xA1}, Bytes(72, 0x55)});
  auto r = Render(Cat({Text("a"),
                       fs2,
                       {FS, 'C', 1},
                       {ESC, 'p', 0, 25, 250},
                       {DLE, 0x14, 1, 0, 1},
                       {GS, 'b', 1},
                       {ESC, 'c', '5', 0},
                       Text("b\n")}));
  EXPECT_EQ(r.report.unknown_bytes, 0u);
  EXPECT_EQ(r.report.refused, 0u);
  EXPECT_EQ(r.report.not_drawn, 2u);
  EXPECT_EQ(r.report.not_drawn_notes,
            (std::vector<std::string>{"FS 2 at 1: not drawn", "FS C at 77: not drawn"}));
  ASSERT_EQ(r.pages.size(), 1u);  // the text around them still prints
  EXPECT_FALSE(Ink(r.pages[0].dots).empty());

  Bytes many;
  for (int i = 0; i < 25; ++i) many = Cat({many, {FS, 'C', 0}});
  r = Render(many);
  EXPECT_EQ(r.report.not_drawn, 25u);
  ASSERT_EQ(r.report.not_drawn_notes.size(), Report::kMaxListed);
  EXPECT_EQ(r.report.not_drawn_notes.back(), "FS C at 57: not drawn");
}

TEST_F(StreamTest, ACommandCutShortAtTheEndIsReported) {
  const auto r = Render({ESC, '$', 10});
  EXPECT_EQ(r.report.unknown_bytes, 3u);
  ASSERT_EQ(r.report.notes.size(), 1u);
  EXPECT_NE(r.report.notes[0].find("cut short"), std::string::npos);
  EXPECT_TRUE(r.pages.empty());
}

TEST_F(StreamTest, DataCutShortIsReportedAtItsOwnCommand) {
  // Each command starts at offset 8, after a complete bit image of one column at 0 whose
  // offset must not be the one reported.
  const Bytes before = Cat({{ESC, '*', 0, 1, 0, 0xFF}, Text("ab")});
  struct Case {
    const char* what;
    Bytes cut;            // the command and the part of its data that arrives
    bool prints = false;  // it printed the pending line before its own data came
  };
  const Case cases[] = {
      {"ESC * data", {ESC, '*', 33, 2, 0, 1, 2, 3}},
      {"GS v 0 within a row", {GS, 'v', '0', 0, 2, 0, 2, 0, 0xFF, 0xFF, 0x0F}, true},
      {"GS * data", {GS, '*', 1, 1, 1, 2, 3}},
      {"FS q image size", {FS, 'q', 1, 1, 0}},
      {"FS q image data", {FS, 'q', 2, 1, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0, 1, 0, 9}},
      {"ESC & character", {ESC, '&', 3, 'A', 'B', 2, 1, 2, 3, 4, 5, 6, 2}},
      {"GS ( data", {GS, '(', 'k', 4, 0, 49, 65}},
      {"GS 8 L data", {GS, '8', 'L', 6, 0, 0, 0, 48, 112}},
      {"GS k data", {GS, 'k', 73, 5, '{', 'B'}},
  };
  for (const Case& c : cases) {
    const auto r = Render(Cat({before, c.cut}));
    ASSERT_EQ(r.report.notes.size(), 1u) << c.what;
    EXPECT_EQ(r.report.notes[0], "offset 8: image or data cut short by the end of the input")
        << c.what;
    EXPECT_EQ(r.report.unknown_bytes, 0u) << c.what;
    EXPECT_EQ(r.report.bytes, before.size() + c.cut.size()) << c.what;
    // The pending line (the bit image and "ab") is dropped with the data.
    EXPECT_EQ(r.pages.empty(), !c.prints) << c.what;
  }
}

TEST_F(StreamTest, DoubleBytePairsHoldAcrossCallsAndEndBeforeCommands) {
  // A lead and its trail in separate calls print as one character; a lead followed by
  // a command, a control byte or a byte that is no trail is one unknown byte.
  struct Case {
    const char* what;
    Bytes in;
    std::vector<uint64_t> unknown;
  };
  const Case cases[] = {
      {"pairs", {0xD6, 0xD0, 0xCE, 0xC4, LF}, {}},
      {"lead before a command with data", {0xD6, ESC, '*', 0, 1, 0, 0xFF, LF}, {0}},
      {"lead before an unknown byte", {'a', 0xD6, 0x01, LF}, {1, 2}},
      {"lead before no trail", {0xD6, 0x30, 0xD6, 0xD0, LF}, {0}},
      {"lead at the end", {'a', LF, 0xD6}, {2}},
      {"lead before a command cut short", {0xD6, ESC}, {0, 1}},
  };
  for (const Case& c : cases) {
    const auto whole = Render(c.in);
    EXPECT_EQ(whole.report.unknown_offsets, c.unknown) << c.what;
    const auto bytewise = Render(c.in, kDots80mm, 1);
    EXPECT_TRUE(SamePages(whole, bytewise)) << c.what;
    EXPECT_EQ(bytewise.report.unknown_offsets, c.unknown) << c.what;
  }
}

TEST_F(StreamTest, RandomInputNeverStopsTheInterpreter) {
  std::mt19937 rng(20261208);
  Bytes in(10 << 20);
  for (auto& b : in) b = static_cast<uint8_t>(rng());
  size_t pages = 0;
  uint64_t last = 0;
  PrinterOptions options;
  Printer p(options, [&](Page&& page) {
    ++pages;
    EXPECT_LE(page.dots.height(), kMaxPageRows + 2);
    EXPECT_EQ(page.dots.width(), kDots80mm);
    EXPECT_EQ(page.number, last + 1);
    last = page.number;
  });
  for (size_t i = 0; i < in.size(); i += 4093)
    p.Feed(in.data() + i, std::min<size_t>(4093, in.size() - i));
  p.Finish();
  const Report& r = p.report();
  EXPECT_EQ(r.bytes, in.size());
  EXPECT_GT(r.unknown_bytes, 0u);
  EXPECT_EQ(r.unknown_offsets.size(), Report::kMaxListed);
  EXPECT_TRUE(std::is_sorted(r.unknown_offsets.begin(), r.unknown_offsets.end()));
  EXPECT_GT(pages, 0u);
  EXPECT_EQ(r.pages, pages);
}

TEST_F(StreamTest, StatusRequestsAnswerOnTheBackChannelAndPrintNothing) {
  const Bytes ask = {GS, 'r', 1, DLE, 4, 1, DLE, 4, 2, DLE, 4, 4, GS, 'r', 2};
  PrinterOptions options;
  size_t pages = 0;
  Printer p(options, [&](Page&&) { ++pages; });
  auto answers = [&] {
    p.Feed(ask);
    uint8_t buf[16];
    const size_t n = p.ReadReplies(buf, sizeof buf);
    return Bytes(buf, buf + n);
  };
  EXPECT_EQ(answers(), (Bytes{0x00, 0x12, 0x12, 0x12, 0x00}));
  p.SetStatus({.paper_out = true});
  EXPECT_EQ(answers(), (Bytes{0x0C, 0x12, 0x32, 0x72, 0x00}));
  p.SetStatus({.paper_near_end = true});
  EXPECT_EQ(answers(), (Bytes{0x03, 0x12, 0x12, 0x1E, 0x00}));
  p.SetStatus({.cover_open = true});
  EXPECT_EQ(answers(), (Bytes{0x00, 0x12, 0x16, 0x12, 0x00}));
  p.SetStatus({.offline = true});
  EXPECT_EQ(answers(), (Bytes{0x00, 0x1A, 0x12, 0x12, 0x00}));
  // A request split between two calls is answered when it is complete.
  p.Feed(Bytes{GS, 'r'});
  EXPECT_EQ(p.PendingReplies(), 0u);
  p.Feed(Bytes{1});
  EXPECT_EQ(p.PendingReplies(), 1u);
  p.Finish();
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(p.report().replies, 26u);
}

TEST_F(StreamTest, APageLongerThanTheLimitContinuesOnANewPage) {
  Bytes in = Text("top");
  for (int i = 0; i < 200; ++i) in = Cat({in, {ESC, 'J', 255}});  // 51000 dots of feed
  in = Cat({in, Text("end"), {GS, 'V', 0x30}});
  const auto r = Render(in);
  ASSERT_EQ(r.pages.size(), 2u);
  EXPECT_EQ(r.pages[0].dots.height(), kMaxPageRows);
  EXPECT_TRUE(r.pages[0].continued);
  EXPECT_EQ(r.pages[0].cut, Cut::kNone);
  EXPECT_EQ(r.pages[1].cut, Cut::kFull);
  EXPECT_EQ(r.pages[0].dots.height() + r.pages[1].dots.height(), 24 + 51000 - 24 + 24 + 2);
}

TEST_F(StreamTest, ShortPagesAfterALongOneKeepNoMoreThanTheirOwnSize) {
  Bytes in = Text("long");
  for (int i = 0; i < 160; ++i) in = Cat({in, {ESC, 'J', 255}});
  for (int i = 0; i < 5; ++i) in = Cat({in, Text("short"), {LF, GS, 'V', 0x30}});
  const auto r = Render(in);
  ASSERT_EQ(r.pages.size(), 6u);
  for (const Page& page : r.pages)
    EXPECT_LE(page.dots.bits().capacity(), 2 * page.dots.bits().size()) << page.number;
}

TEST_F(StreamTest, CutsEndPagesWithADashedLine) {
  const auto r = Render(Cat({Text("one"),
                             {LF, GS, 'V', 0x30},
                             Text("two"),
                             {LF, GS, 'V', 'B', 30},
                             Text("three"),
                             {LF}}));
  ASSERT_EQ(r.pages.size(), 3u);
  EXPECT_EQ(r.pages[0].cut, Cut::kFull);
  EXPECT_EQ(r.pages[1].cut, Cut::kPartial);
  EXPECT_EQ(r.pages[2].cut, Cut::kNone);
  const Bitmap& full = r.pages[0].dots;
  const Bitmap& partial = r.pages[1].dots;
  // A text line of 30 dots (ESC 2), then the cut line; GS V 66 30 feeds 30 more first.
  EXPECT_EQ(full.height(), 30 + 2);
  EXPECT_EQ(partial.height(), 30 + 30 + 2);
  auto dashes = [](const Bitmap& b, int from, int to) {
    int n = 0;
    for (int x = from; x < to; ++x) n += b.Get(x, b.height() - 1);
    return n;
  };
  EXPECT_GT(dashes(full, 0, kDots80mm), kDots80mm / 2);
  EXPECT_LT(dashes(full, 0, kDots80mm), kDots80mm);
  // The partial cut leaves the middle uncut.
  EXPECT_EQ(dashes(partial, kDots80mm / 2 - 30, kDots80mm / 2 + 30), 0);
  EXPECT_EQ(dashes(full, kDots80mm / 2 - 30, kDots80mm / 2 + 30) > 0, true);
}

}  // namespace
}  // namespace tillvane::render
