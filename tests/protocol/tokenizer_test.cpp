// The tokenizer over the command table: edge cases of the lengths one by one; a stream
// of every command of the table, split at random, comes out as exactly those commands;
// cut at every byte it reports the cut command and nothing past the end; the sample
// documents tokenize without an unknown byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "protocol/control_bytes.h"
#include "protocol/tokenizer.h"
#include "tests/support/recording.h"

namespace tillvane::protocol {
namespace {

using Bytes = std::vector<uint8_t>;

const char* ProblemName(Problem p) {
  static const char* const kNames[] = {"none",        "too-large", "skipped",
                                       "bad-mode",    "no-zero",   "out-of-range",
                                       "image-large", "cut-short", "data-cut-short"};
  return kNames[static_cast<int>(p)];
}

struct Recorder : TokenSink {
  struct Rec {
    Token token;
    Bytes bytes;
    std::string note;
  };
  std::vector<Rec> tokens;
  void OnToken(const Token& t) override {
    tokens.push_back({t, Bytes(t.bytes.begin(), t.bytes.end()), std::string(t.note)});
  }

  // "ESC a@0/3; text@3/2; GS v 0@5/8+; part1@13/2; unknown@15/1; refused@16 too-large",
  // with the text runs that the calls' ends cut joined.
  std::string Describe() const {
    std::vector<std::string> out;
    uint64_t text_at = 0, text_size = 0;
    auto flush_text = [&] {
      if (text_size > 0)
        out.push_back("text@" + std::to_string(text_at) + "/" + std::to_string(text_size));
      text_size = 0;
    };
    for (const Rec& r : tokens) {
      const Token& t = r.token;
      if (t.kind == TokenKind::kText) {
        if (text_size == 0) text_at = t.offset;
        text_size += r.bytes.size();
        continue;
      }
      flush_text();
      const std::string at = "@" + std::to_string(t.offset);
      if (t.kind == TokenKind::kCommand) {
        out.push_back((t.part == 0 ? std::string(t.row->name) : "part" + std::to_string(t.part)) +
                      at + "/" + std::to_string(r.bytes.size()) + (t.data_skipped ? "!" : "") +
                      (t.last ? "" : "+"));
      } else if (t.kind == TokenKind::kUnknown) {
        out.push_back("unknown" + at + "/" + std::to_string(t.count));
      } else {
        out.push_back("refused" + at + " " + ProblemName(t.problem));
      }
    }
    flush_text();
    std::string joined;
    for (const std::string& s : out) joined += (joined.empty() ? "" : "; ") + s;
    return joined;
  }
};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Feeds `in` in calls of random length (all at once with seed 0), then ends it.
Recorder Tokenize(const Bytes& in, unsigned seed = 0, bool finish = true) {
  Recorder rec;
  Tokenizer tok;
  std::mt19937 rng(seed);
  size_t i = 0;
  while (i < in.size()) {
    size_t n = seed == 0 ? in.size() : std::uniform_int_distribution<size_t>(1, 40)(rng);
    n = std::min(n, in.size() - i);
    tok.Feed(in.data() + i, n, rec);
    i += n;
  }
  if (finish) tok.Finish(rec);
  return rec;
}

TEST(Tokenizer, LengthsAndRefusalsAsThePrinterReadsThem) {
  const Bytes big_flash = {0xFF, 0x03, 0x20, 0x01};  // 1023 x 288: beyond the flash memory
  struct Case {
    const char* what;
    Bytes in;
    const char* tokens;
  } cases[] = {
      {"text and LF", {'a', 'b', LF, 0x80, 0xFF}, "text@0/2; LF@2/1; text@3/2"},
      {"DLE EOT 7 takes one byte more",
       {DLE, EOT, 7, 1, DLE, EOT, 1},
       "DLE EOT 7@0/4; DLE EOT@4/3"},
      {"GS V by its mode",
       {GS, 'V', 'A', 9, GS, 'V', 1, GS, 'V', 'h', 0, GS, 'V', 'x'},
       "GS V@0/4; GS V@4/3; GS V@7/4; unknown@11/3"},
      {"unknown bytes and introducers",
       {DEL, ESC, ESC, DLE, 'x', 0x01},
       "unknown@0/1; unknown@1/2; unknown@3/2; unknown@5/1"},
      {"GS k by its length byte", {GS, 'k', 67, 3, '1', '2', '3'}, "GS k@0/7"},
      {"GS k with its zero byte", {GS, 'k', 4, '1', 0, GS, 'k', 4, 0}, "GS k@0/5; GS k@5/4"},
      {"GS k at its limit", Cat({{GS, 'k', 4}, Bytes(255, 'A'), {0}}), "GS k@0/259"},
      {"GS k over its limit is dropped", Cat({{GS, 'k', 4}, Bytes(256, 'A'), {0}}),
       "refused@0 no-zero; unknown@259/1"},
      {"ESC D at and over its limit", Cat({{ESC, 'D'}, Bytes(32, 8), {0, ESC, 'D'}, Bytes(33, 8)}),
       "ESC D@0/35; refused@35 no-zero"},
      {"GS v 0 row by row",
       {GS, 'v', '0', 0, 2, 0, 2, 0, 1, 2, 3, 4, 'z'},
       "GS v 0@0/8+; part1@8/2+; part2@10/2; text@12/1"},
      {"GS v 0 empty", {GS, 'v', '0', 0, 0, 0, 5, 0, LF}, "GS v 0@0/8; LF@8/1"},
      {"GS v 0 too large reads on",
       {GS, 'v', '0', 0, 0, 1, 1, 0, 'a', 'b'},
       "refused@0 too-large; text@8/2"},
      {"GS 8 L too large reads on",
       {GS, '8', 'L', 1, 0, 0x10, 0, 'a'},
       "refused@0 too-large; text@7/1"},
      {"GS 8 L by its four bytes",
       {GS, '8', 'L', 3, 0, 0, 0, 48, 112, 0, LF},
       "GS 8 L 112@0/10; LF@10/1"},
      {"GS * too large is skipped", Cat({{GS, '*', 100, 10}, Bytes(8000, LF), {LF}}),
       "refused@0 skipped; LF@8004/1"},
      {"GS * within the memory", Cat({{GS, '*', 2, 1}, Bytes(16, 0xAA)}), "GS *@0/20"},
      {"ESC * by its mode", Cat({{ESC, '*', 33, 2, 0}, Bytes(6, 1), {ESC, '*', 0, 1, 0, 7}}),
       "ESC *@0/11; ESC *@11/6"},
      {"ESC * of a bad mode",
       {ESC, '*', 5, 1, 0, 'a'},
       "refused@0 bad-mode; unknown@0/5; text@5/1"},
      {"GS ( by pL pH, named by cn fn",
       {GS, '(', 'k', 3, 0, 49, 81, 48, GS, '(', 'z', 0, 0},
       "GS ( k 49 81@0/8; GS (@8/5"},
      {"FS q image by image",
       Cat({{FS, 'q', 2, 1, 0, 1, 0}, Bytes(8, 1), {1, 0, 2, 0}, Bytes(16, 2)}),
       "FS q@0/3+; part1@3/12+; part2@15/20"},
      {"FS q image out of range ends it",
       {FS, 'q', 2, 0, 0, 1, 0, 'a'},
       "FS q@0/3+; refused@0 out-of-range; text@7/1"},
      {"FS q image beyond the flash is passed over",
       Cat({{FS, 'q', 2}, big_flash, Bytes(1023 * 288 * 8, 0), {1, 0, 1, 0}, Bytes(8, 3)}),
       "FS q@0/3+; refused@0 image-large; part1@3/4!+; part2@2356999/12"},
      {"FS q of no image", {FS, 'q', 0}, "FS q@0/3"},
      {"ESC & character by character",
       {ESC, '&', 2, 65, 66, 1, 9, 9, 0, LF},
       "ESC &@0/5+; part1@5/3+; part2@8/1; LF@9/1"},
      {"ESC & of no character", {ESC, '&', 2, 66, 65}, "ESC &@0/5"},
      {"a header cut short", {'a', GS, 'V'}, "text@0/1; refused@1 cut-short; unknown@1/2"},
      {"zero-ended data cut short", {ESC, 'D', 8, 16}, "refused@0 cut-short; unknown@0/4"},
      {"data cut short", {GS, '(', 'A', 2, 0, 1}, "refused@0 data-cut-short"},
      {"an image cut short in its part head",
       {FS, 'q', 1, 1},
       "FS q@0/3+; refused@0 data-cut-short"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Tokenize(c.in).Describe(), c.tokens) << c.what;
    EXPECT_EQ(Tokenize(c.in, 7).Describe(), Tokenize(c.in).Describe()) << c.what << ", split";
  }
}

TEST(Tokenizer, RefusalsSayWhatWasRefused) {
  const Recorder r = Tokenize({GS, '*', 0, 4, GS, 'v', '0', 0, 1, 1, 0, 9});
  ASSERT_EQ(r.tokens.size(), 2u);
  EXPECT_EQ(r.tokens[0].note, "GS * 0 x 4 larger than the RAM logo memory; refused");
  EXPECT_EQ(r.tokens[1].note, "GS v 0 of 257 x 2304 bytes larger than the image memory; refused");
}

// One command of `row` with random parameters and data, and the row it must come out as.
Bytes RandomCommand(const CommandRow& row, std::mt19937& rng) {
  auto any = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto u8 = [&](int lo, int hi) { return static_cast<uint8_t>(any(lo, hi)); };
  Bytes c(row.intro, row.intro + row.intro_size);
  if (row.intro_size == 3) c[2] = u8(row.intro[2], row.last);
  if (row.intro_size == 3 && row.intro[1] == EOT && row.last == 255 && c[2] == 7) c[2] = 1;
  while (c.size() < row.header) c.push_back(u8(0, 255));
  // Families named by sub-function rows get a third byte none of those name.
  if (!row.names_only && row.length == Length::kCount16) c[2] = 'z';
  auto data = [&](size_t n) {
    for (size_t i = 0; i < n; ++i) c.push_back(u8(0, 255));
  };
  auto put16 = [&](size_t at, int v) {
    c[at] = static_cast<uint8_t>(v & 0xFF);
    c[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  switch (row.length) {
    case Length::kFixed:
      break;
    case Length::kZeroEnded:
      for (int i = any(0, row.limit); i > 0; --i) c.push_back(u8(1, 255));
      c.push_back(0);
      break;
    case Length::kCountByte:
      c[3] = u8(0, 40);
      data(c[3]);
      break;
    case Length::kCount16:
    case Length::kCount32: {
      const bool wide = row.length == Length::kCount32;
      const bool fallback = row.names_only && row.sub_size == 0;
      const int n = any(std::max(row.sub_at + row.sub_size, fallback ? 2 : 0), 300);
      put16(3, n);
      if (wide) c[5] = c[6] = 0;
      data(static_cast<size_t>(n));
      for (size_t i = 0; i < row.sub_size; ++i) c[row.sub_at + i] = row.sub[i];
      // Bytes no sub-function row names, for the rows that name a family as a whole.
      if (wide && !row.names_only && n >= 2) c[8] = 1;
      if (fallback) c[5] = c[6] = 0;
      break;
    }
    case Length::kRaster: {
      const int x = any(1, 20), y = any(1, 10);
      put16(4, x);
      put16(6, y);
      data(static_cast<size_t>(x * y));
      break;
    }
    case Length::kRamLogo:
      c[2] = u8(1, 10);
      c[3] = u8(1, 5);
      data(size_t{c[2]} * c[3] * 8);
      break;
    case Length::kBitImage: {
      const uint8_t modes[] = {0, 1, 32, 33};
      c[2] = modes[any(0, 3)];
      put16(3, any(0, 60));
      data(size_t{c[3]} * (c[2] >= 32 ? 3 : 1));
      break;
    }
    case Length::kFlashLogos:
      c[2] = u8(1, 3);
      for (int i = 0; i < c[2]; ++i) {
        const int x = any(1, 4), y = any(1, 3);
        c.insert(c.end(), {static_cast<uint8_t>(x), 0, static_cast<uint8_t>(y), 0});
        data(static_cast<size_t>(x * y * 8));
      }
      break;
    case Length::kUserChars:
      c[2] = u8(0, 3);
      c[3] = u8(32, 126);
      c[4] = static_cast<uint8_t>(c[3] + any(0, 3));
      for (int i = c[3]; i <= c[4]; ++i) {
        c.push_back(u8(0, 5));
        data(size_t{c[2]} * c.back());
      }
      break;
  }
  return c;
}

struct Item {
  uint64_t offset;
  const CommandRow* row;  // null: text
  Bytes bytes;
};

// Every row of the table, twice, with text between, in a random order.
std::vector<Item> RandomStream(std::mt19937& rng, Bytes* stream) {
  std::vector<const CommandRow*> rows;
  for (const CommandRow& r : CommandTable()) rows.insert(rows.end(), {&r, &r});
  std::shuffle(rows.begin(), rows.end(), rng);
  std::vector<Item> items;
  for (const CommandRow* r : rows) {
    items.push_back({stream->size(), r, RandomCommand(*r, rng)});
    stream->insert(stream->end(), items.back().bytes.begin(), items.back().bytes.end());
    if (rng() % 2) {
      Bytes text(rng() % 5 + 1, 0);
      for (uint8_t& b : text) b = static_cast<uint8_t>(0x20 + rng() % 0x5F);
      items.push_back({stream->size(), nullptr, text});
      stream->insert(stream->end(), text.begin(), text.end());
    }
  }
  return items;
}

// The tokens with text runs joined and commands put together from their parts.
std::vector<Item> Reassemble(const Recorder& rec) {
  std::vector<Item> out;
  bool open = false;
  for (const Recorder::Rec& r : rec.tokens) {
    const Token& t = r.token;
    if (t.kind == TokenKind::kText && !open && !out.empty() && out.back().row == nullptr &&
        out.back().offset + out.back().bytes.size() == t.offset) {
      out.back().bytes.insert(out.back().bytes.end(), r.bytes.begin(), r.bytes.end());
    } else if (t.kind == TokenKind::kCommand && t.part > 0 && open) {
      out.back().bytes.insert(out.back().bytes.end(), r.bytes.begin(), r.bytes.end());
    } else {
      out.push_back({t.offset, t.kind == TokenKind::kCommand ? t.row : nullptr, r.bytes});
      if (t.kind != TokenKind::kText && t.kind != TokenKind::kCommand)
        out.back().row = &CommandTable()[0];
    }
    open = t.kind == TokenKind::kCommand && !t.last;
  }
  return out;
}

TEST(Tokenizer, EveryCommandOfTheTableComesOutWholeInAnySplit) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    Bytes stream;
    const std::vector<Item> want = RandomStream(rng, &stream);
    const Recorder rec = Tokenize(stream, seed);
    const std::vector<Item> got = Reassemble(rec);
    ASSERT_EQ(got.size(), want.size()) << "seed " << seed << ": " << rec.Describe();
    for (size_t i = 0; i < want.size(); ++i) {
      const std::string what = "seed " + std::to_string(seed) + ", item " + std::to_string(i) +
                               " " + (want[i].row ? std::string(want[i].row->name) : "text");
      ASSERT_EQ(got[i].offset, want[i].offset) << what;
      ASSERT_EQ(got[i].row, want[i].row)
          << what << " came out as " << (got[i].row ? got[i].row->name : "text");
      ASSERT_EQ(got[i].bytes, want[i].bytes) << what;
    }
  }
}

TEST(Tokenizer, CutAtEveryByteItReportsTheCutCommandAndNothingPastTheEnd) {
  std::mt19937 rng(99);
  Bytes stream;
  const std::vector<Item> items = RandomStream(rng, &stream);
  size_t item = 0;
  for (size_t end = 0; end <= stream.size(); ++end) {
    while (item < items.size() && items[item].offset + items[item].bytes.size() <= end) ++item;
    const bool inside = item < items.size() && items[item].offset < end;
    const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(end));
    const Recorder rec = Tokenize(cut, static_cast<unsigned>(end) + 1);
    uint64_t covered = 0;
    int refused = 0;
    for (const Recorder::Rec& r : rec.tokens) {
      const Token& t = r.token;
      const uint64_t size = t.kind == TokenKind::kUnknown ? t.count : r.bytes.size();
      ASSERT_LE(t.offset + size, end) << "cut at " << end;
      if (t.kind == TokenKind::kRefused) {
        ++refused;
        EXPECT_EQ(t.offset, items[item].offset) << "cut at " << end;
        continue;
      }
      if (t.kind != TokenKind::kUnknown) {
        ASSERT_GE(t.offset, covered) << "cut at " << end;
      }
      covered = t.offset + size;
    }
    ASSERT_EQ(refused, inside && items[item].row ? 1 : 0)
        << "cut at " << end << ": " << rec.Describe();
  }
}

TEST(Tokenizer, TheSampleDocumentsHaveNoUnknownByte) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(TILLVANE_SOURCE_DIR) / "tests/golden")) {
    if (entry.path().extension() != ".bin") continue;
    ++files;
    const Bytes bytes = testing::ReadFileBytes(entry.path());
    const Recorder rec = Tokenize(bytes, static_cast<unsigned>(bytes.size()));
    uint64_t commands = 0;
    for (const Recorder::Rec& r : rec.tokens) {
      EXPECT_NE(r.token.kind, TokenKind::kUnknown) << entry.path() << " at " << r.token.offset;
      EXPECT_NE(r.token.kind, TokenKind::kRefused) << entry.path() << ": " << r.note;
      commands += r.token.kind == TokenKind::kCommand;
    }
    EXPECT_GT(commands, 10u) << entry.path();
  }
  EXPECT_GE(files, 16);
}

}  // namespace
}  // namespace tillvane::protocol
