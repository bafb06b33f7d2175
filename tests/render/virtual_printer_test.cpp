// The virtual printer shared between a feeding thread and a watching one.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "render/virtual_printer.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane::render {
namespace {

using testing::Bytes;

TEST(VirtualPrinterTest, AJobThreadPrintsWhileAnotherWatchesAndSetsTheState) {
  tillvane::testing::ScopedTempDir dir;
  const Bytes receipt = testing::DocumentBytes(testing::SampleDocuments()[0]);
  VirtualPrinter printer;
  std::atomic<int> announced{0};
  printer.SetPageListener([&](const std::shared_ptr<const Page>& p) {
    EXPECT_EQ(p->cut, Cut::kFull);
    ++announced;
  });
  constexpr int kReceipts = 20;
  std::thread job([&] {
    for (int i = 0; i < kReceipts; ++i)
      for (uint8_t b : receipt) printer.Write(&b, 1);  // one byte per call, as the stream does
  });
  std::atomic<bool> done{false};
  std::thread window([&] {
    uint64_t last = 0;
    while (!done) {
      const auto snap = printer.Take();
      EXPECT_GE(snap.version, last);
      last = snap.version;
      for (const auto& p : snap.pages) EXPECT_EQ(p->dots.width(), kDots80mm);
      printer.SetStatus({.paper_near_end = (last & 1) != 0});
    }
  });
  job.join();
  done = true;
  window.join();
  const auto snap = printer.Take();
  EXPECT_EQ(snap.pages.size(), static_cast<size_t>(kReceipts));
  EXPECT_EQ(announced.load(), kReceipts);
  EXPECT_EQ(snap.report.bytes, receipt.size() * kReceipts);
  const auto alone = testing::Render(receipt);
  for (const auto& p : snap.pages) EXPECT_TRUE(p->dots == alone.pages.at(0).dots);

  // The state set from the window is what the next request answers.
  printer.SetStatus({.paper_out = true});
  const uint8_t ask[] = {0x1D, 'r', 1};
  printer.Write(ask, 3);
  uint8_t answer[4];
  ASSERT_EQ(printer.ReadReplies(answer, 4), 1u);
  EXPECT_EQ(answer[0], 0x0C);

  printer.ClearPaper();
  EXPECT_TRUE(printer.Take().pages.empty());
}

TEST(VirtualPrinterTest, KeepsBoundedPaperForThePreview) {
  VirtualPrinter printer({}, 1000);
  const uint8_t page[] = {0x1B, 'J', 200, 0x1B, 'J', 200, 0x1D, 'V', 0x30};  // 402 rows each
  for (int i = 0; i < 10; ++i) printer.Write(page, sizeof page);
  const auto snap = printer.Take();
  EXPECT_EQ(snap.pages.size(), 2u);
  EXPECT_EQ(snap.dropped_pages, 8u);
  EXPECT_EQ(snap.report.pages, 10u);
  EXPECT_EQ(snap.pages.back()->number, 10u);
}

TEST(VirtualPrinterTest, FinishPutsOutTheUncutPaper) {
  VirtualPrinter printer;
  const uint8_t text[] = {'h', 'i', 0x0A};
  printer.Write(text, sizeof text);
  EXPECT_EQ(printer.Take().current.height(), 30);
  EXPECT_TRUE(printer.Take().pages.empty());
  printer.Finish();
  const auto snap = printer.Take();
  ASSERT_EQ(snap.pages.size(), 1u);
  EXPECT_EQ(snap.pages[0]->cut, Cut::kNone);
  EXPECT_EQ(snap.current.height(), 0);
}

}  // namespace
}  // namespace tillvane::render
