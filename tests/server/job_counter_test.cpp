// The counts of a job taken without drawing (--no-render) against the renderer's report
// of the same bytes, and the answers it gives against a drawing printer's.
#include "server/job_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/recording.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;

struct Counts {
  render::Report report;
  Bytes answers;
};

template <typename P>
Counts Take(P& p, const Bytes& job, size_t split) {
  for (size_t at = 0; at < job.size(); at += split)
    p.Feed(job.data() + at, std::min(split, job.size() - at));
  p.Finish();
  Counts c;
  uint8_t buf[256];
  while (size_t n = p.ReadReplies(buf, sizeof buf)) c.answers.insert(c.answers.end(), buf, buf + n);
  c.report = p.report();
  return c;
}

void ExpectSameCounts(const Bytes& job, const std::string& what) {
  SCOPED_TRACE(what);
  render::PrinterOptions o;
  render::Printer drawn(o);
  const Counts want = Take(drawn, job, job.size() + 1);
  for (size_t split : {size_t{1}, size_t{7}, job.size() + 1}) {
    server::JobCounter counter(o);
    const Counts got = Take(counter, job, split);
    EXPECT_EQ(got.report.bytes, want.report.bytes) << split;
    EXPECT_EQ(got.report.unknown_bytes, want.report.unknown_bytes) << split;
    EXPECT_EQ(got.report.unknown_offsets, want.report.unknown_offsets) << split;
    EXPECT_EQ(got.report.pages, want.report.pages) << split;
    // Refusals by the printer's state (a logo never defined) need the drawing; those by
    // a command's form or size are counted alike.
    EXPECT_LE(got.report.refused, want.report.refused) << split;
    // Commands with no handler are not drawn in both; a handler may find more it cannot
    // draw (a symbology), which only the drawing knows.
    EXPECT_LE(got.report.not_drawn, want.report.not_drawn) << split;
    const bool only_unhandled =
        std::all_of(want.report.not_drawn_notes.begin(), want.report.not_drawn_notes.end(),
                    [](const std::string& n) { return n.ends_with(": not drawn"); });
    if (only_unhandled) EXPECT_EQ(got.report.not_drawn_notes, want.report.not_drawn_notes) << split;
    EXPECT_EQ(got.answers, want.answers) << split;
  }
}

TEST(JobCounter, CountsTheSampleReceiptsAsTheRendererReportsThem) {
  size_t samples = 0;
  for (const auto& e : fs::directory_iterator(GoldenDir())) {
    if (e.path().extension() != ".bin") continue;
    ++samples;
    ExpectSameCounts(ReadFileBytes(e.path()), e.path().filename().string());
  }
  EXPECT_GE(samples, 16u);
}

TEST(JobCounter, UnknownBytesPagesAndAnswersAtTheEdges) {
  const struct {
    const char* what;
    Bytes job;
  } cases[] = {
      {"nothing", {}},
      {"text without a line end still comes out", {'a', 'b'}},
      {"settings alone put out no paper", {0x1B, '@', 0x1B, 'a', 1}},
      {"a cut after text, nothing after it", {'a', '\n', 0x1D, 'V', 0x42, 0}},
      {"two cuts and a tail", {'a', '\n', 0x1D, 'V', 1, 'b', '\n', 0x1B, 'i', 'c', '\n'}},
      {"feeds only", {0x1B, 'd', 3}},
      {"bytes of no command", {0x01, 'a', 0x02, 0x7F, '\n'}},
      {"the answering commands", {0x1D, 'r', 1, 0x1D, 'I', 1, 0x1D, 'I', '2', 0x1D, 'r', 2}},
      {"a 2-D symbol's size after its settings and data, then its print",
       {0x1D, '(',  'k', 3,   0, 49, 67, 5,  0x1D, '(',  'k', 5,   0, 49, 80, 48, 'a',
        'b',  0x1D, '(', 'k', 3, 0,  49, 82, 48,   0x1D, '(', 'k', 3, 0,  49, 81, 48}},
      {"a command cut short by the end", {'a', '\n', 0x1B}},
      {"commands read but not drawn, and the drawer taken",
       {0x1C, 'C', 1, 'a', 0x1B, 'p', 0, 25, 250, 0x1B, '?', 'A', '\n'}},
      {"NV graphics defined, listed, printed, deleted",
       {0x1D, '(', 'L', 12, 0, 48, 67, 48,  'A', '1', 1, 8, 0, 1, 0, 49, 0xFF,  // fn 67
        0x1D, '(', 'L', 4,  0, 48, 64, 'K', 'C',                                // fn 64
        0x1D, '(', 'L', 2,  0, 48, 51,                                          // fn 51
        0x1D, '(', 'L', 6,  0, 48, 69, 'A', '1', 1,   1,                        // fn 69
        0x1D, '(', 'L', 4,  0, 48, 66, 'A', '1',                                // fn 66
        0x1D, '8', 'L', 2,  0, 0,  0,  48,  48,                                 // fn 48
        0x1D, '(', 'L', 4,  0, 48, 64, 'K', 'C'}},
  };
  for (const auto& c : cases) ExpectSameCounts(c.job, c.what);
}

}  // namespace
}  // namespace tillvane::testing
