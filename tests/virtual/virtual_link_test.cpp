// The virtual printer as a link: what the real builders send through SendData reaches
// the paper exactly as the renderer draws the same bytes fed at once; the back channel
// answers as the printer's state says; a writer waiting for room wakes when the link
// closes.
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "commands/posfun.h"
#include "commands/ram_logos.h"
#include "commands/status_query.h"
#include "config/current_model.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "link/virtual_link.h"
#include "render/virtual_printer.h"
#include "session/link_kinds.h"
#include "session/open_link.h"
#include "session/starters.h"
#include "tests/jobs/job_test_support.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

namespace rt = ::tillvane::render::testing;
using render::Bitmap;
using render::PrinterStatus;
using render::VirtualPrinter;

// The snapshot's pages and the paper not yet cut, one under the other.
Bitmap Roll(const VirtualPrinter::Snapshot& s) {
  int width = s.current.width(), height = s.current.height();
  for (const auto& p : s.pages) {
    width = p->dots.width();
    height += p->dots.height();
  }
  Bitmap roll(width, height);
  int y = 0;
  auto put = [&](const Bitmap& b) {
    for (int r = 0; r < b.height(); ++r, ++y)
      std::copy(b.Row(r), b.Row(r) + b.stride(), roll.Row(y));
  };
  for (const auto& p : s.pages) put(p->dots);
  put(s.current);
  return roll;
}

class VirtualLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The flash logos go to a store of this test's own.
    ::setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    ResetLinkState();
    ForgetVirtualPrinter();
  }
  void TearDown() override {
    ForgetVirtualPrinter();
    ResetLinkState();
    SetCurrentModel("", 80);
    for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = false;
    ::unsetenv("XDG_DATA_HOME");
  }

  std::shared_ptr<VirtualPrinter> Open(int dots) {
    std::string why;
    EXPECT_TRUE(OpenVirtualLink(dots, &why)) << why;
    Links().Kind = LinkKind::Virtual;
    return VirtualPrinterOfLink();
  }

  Bitmap Printed(const std::shared_ptr<VirtualPrinter>& p) {
    EXPECT_TRUE(WaitVirtualPrinterIdle(20000));
    return Roll(p->Take());
  }

  uint8_t Ask(std::initializer_list<uint8_t> request) {
    const rt::Bytes b(request);
    EXPECT_EQ(SendData(b.data(), static_cast<int32_t>(b.size())), 0);
    EXPECT_TRUE(WaitVirtualPrinterIdle(5000));
    uint8_t answer = 0xFF;
    EXPECT_EQ(ReadVirtualAnswers(&answer, 1), 1);
    return answer;
  }

  ::tillvane::testing::ScopedTempDir dir_;
};

class VirtualDocumentTest : public VirtualLinkTest,
                            public ::testing::WithParamInterface<rt::SampleDocument> {};

// Every builder call is a send of its own (one byte for most parameters), so this is
// the renderer fed in thousands of tiny calls through the link's input buffer and
// printing thread.
TEST_P(VirtualDocumentTest, PrintsAsTheRendererDrawsTheSameBytes) {
  const rt::SampleDocument& d = GetParam();
  const int dots = d.narrow ? render::kDotsNarrow : render::kDots80mm;
  const rt::Bytes bytes = rt::DocumentBytes(d);
  const Bitmap expected = rt::Render(bytes, dots).Roll();

  auto printer = Open(dots);
  SetCurrentModel(d.narrow ? "Vorn-56N" : "Vorn-101", d.narrow ? 56 : 80);
  for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = true;
  ASSERT_EQ(d.print(0), 0);
  const Bitmap printed = Printed(printer);
  EXPECT_EQ(printer->Take().report.bytes, bytes.size());
  EXPECT_GT(rt::CountDots(printed), 0);
  EXPECT_TRUE(printed == expected) << d.name << ": " << printed.width() << "x" << printed.height()
                                   << " against " << expected.width() << "x" << expected.height();
}

INSTANTIATE_TEST_SUITE_P(All, VirtualDocumentTest, ::testing::ValuesIn(rt::SampleDocuments()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(VirtualLinkTest, StatusAnswersFollowThePrinterState) {
  auto printer = Open(render::kDots80mm);
  struct Case {
    PrinterStatus state;
    std::initializer_list<uint8_t> request;
    uint8_t answer;
  };
  PrinterStatus paper_out, near_end, cover, offline;
  paper_out.paper_out = true;
  near_end.paper_near_end = true;
  cover.cover_open = true;
  offline.offline = true;
  const Case cases[] = {
      {{}, {GS, 'r', 1}, 0x00},           {paper_out, {GS, 'r', 1}, 0x0C},
      {near_end, {GS, 'r', 1}, 0x03},     {{}, {0x10, 0x04, 1}, 0x12},
      {offline, {0x10, 0x04, 1}, 0x1A},   {cover, {0x10, 0x04, 2}, 0x16},
      {paper_out, {0x10, 0x04, 4}, 0x72},
  };
  for (const Case& c : cases) {
    printer->SetStatus(c.state);
    EXPECT_EQ(Ask(c.request), c.answer) << ::tillvane::testing::ToHex(rt::Bytes(c.request));
  }

  // The communication test passes in every state (any byte is an answer) and reads
  // the answer of its own request; an answer waiting from before is purged first.
  EXPECT_TRUE(LinkCanAnswer());
  for (const PrinterStatus& s : {PrinterStatus{}, paper_out, offline}) {
    printer->SetStatus(s);
    const uint8_t stale[] = {0x10, 0x04, 1};
    ASSERT_EQ(SendData(stale, 3), 0);
    ASSERT_TRUE(WaitVirtualPrinterIdle(5000));
    std::optional<uint8_t> answer;
    EXPECT_EQ(TestCommunication(&answer), 0);
    EXPECT_EQ(answer, std::optional<uint8_t>(s.paper_out ? 0x0C : 0x00));
    ASSERT_TRUE(WaitVirtualPrinterIdle(5000));
    uint8_t rest = 0;
    EXPECT_EQ(ReadVirtualAnswers(&rest, 1), 0);
  }

  // The status display's four requests.
  printer->SetStatus(cover);
  StatusAnswers answers;
  ASSERT_TRUE(QueryPrinterStatus(&answers));
  EXPECT_EQ(answers[0], std::optional<uint8_t>(0x12));
  EXPECT_EQ(answers[1], std::optional<uint8_t>(0x16));
}

TEST_F(VirtualLinkTest, WithTheLinkClosedNothingIsSentAndTheTestFails) {
  auto printer = Open(render::kDots80mm);
  CloseVirtualLink();
  EXPECT_EQ(PrintAndLineFeed(), -1);
  EXPECT_EQ(TestCommunication(nullptr), -1);
  EXPECT_FALSE(LinkCanAnswer());
  EXPECT_EQ(ReadVirtualAnswers(nullptr, 0), 0);
  // The printer stays for the preview.
  EXPECT_EQ(VirtualPrinterOfLink(), printer);
}

TEST_F(VirtualLinkTest, ReopeningKeepsThePrinterWhileThePaperWidthStays) {
  auto first = Open(render::kDots80mm);
  ASSERT_EQ(PrintText("kept"), 0);
  ASSERT_EQ(PrintAndLineFeed(), 0);
  const Bitmap before = Printed(first);
  ASSERT_GT(rt::CountDots(before), 0);
  auto again = Open(render::kDots80mm);
  EXPECT_EQ(again, first);
  EXPECT_TRUE(Printed(again) == before);
  auto narrow = Open(render::kDotsNarrow);
  EXPECT_NE(narrow, first);
  EXPECT_EQ(Printed(narrow).height(), 0);
}

// More than the input buffer holds, sent in one call: the writer waits for the
// printing thread and every byte arrives in order.
TEST_F(VirtualLinkTest, AWriteLargerThanTheInputBufferArrivesWhole) {
  // RAM logo definitions over and over (they feed no paper), each a different
  // pattern, then the last one printed and cut.
  rt::Bytes stream;
  for (int n = 0; stream.size() < 3 * VirtualPrinterLink::kInputBuffer; ++n) {
    const rt::Bytes define = {GS, '*', 32, 8};  // GS * x y: 256 x 64 dots follow
    stream.insert(stream.end(), define.begin(), define.end());
    for (int i = 0; i < 32 * 8 * 8; ++i) stream.push_back(static_cast<uint8_t>(i * 7 + n));
  }
  const rt::Bytes print_and_cut = {GS, '/', 0, GS, 'V', 0x30};
  stream.insert(stream.end(), print_and_cut.begin(), print_and_cut.end());
  auto printer = Open(render::kDots80mm);
  ASSERT_EQ(SendData(stream.data(), static_cast<int32_t>(stream.size())), 0);
  const Bitmap printed = Printed(printer);
  const auto snapshot = printer->Take();
  EXPECT_EQ(snapshot.report.bytes, stream.size());
  EXPECT_EQ(snapshot.dropped_pages, 0u);
  const Bitmap expected = rt::Render(stream).Roll();
  EXPECT_GT(rt::CountDots(printed), 1000);
  EXPECT_TRUE(printed == expected) << printed.height() << " rows against " << expected.height();
}

// A printer that stops printing (its page listener blocks) fills the input buffer; the
// writer then waits, and closing the link wakes it with the bytes not taken.
TEST_F(VirtualLinkTest, ClosingWakesAWriterWaitingForRoom) {
  auto printer = std::make_shared<VirtualPrinter>();
  std::mutex m;
  std::condition_variable cv;
  bool blocked = false, release = false;
  printer->SetPageListener([&](const auto&) {
    std::unique_lock lock(m);
    blocked = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  });
  auto link = std::make_unique<VirtualPrinterLink>(printer);
  const rt::Bytes cut = {GS, 'V', 0x30};
  ASSERT_EQ(link->Write(cut.data(), 3), 3);
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return blocked; }));
  }
  const rt::Bytes big(4 * VirtualPrinterLink::kInputBuffer, 'x');
  auto writer = std::async(std::launch::async, [&] {
    return link->Write(big.data(), static_cast<int32_t>(big.size()));
  });
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  auto closer = std::async(std::launch::async, [&] { link->Close(); });
  const int32_t taken = writer.get();
  EXPECT_GE(taken, 0);
  EXPECT_LT(taken, static_cast<int32_t>(big.size()));
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  closer.get();
}

// Logos downloaded over the link print in the logo receipt; the flash logo is in the
// store afterwards, so a printer started later prints it too.
TEST_F(VirtualLinkTest, DownloadedLogosPrintAndTheFlashLogoOutlivesThePrinter) {
  const rt::SampleDocument& logo_ticket = rt::SampleDocuments()[1];
  ASSERT_STREQ(logo_ticket.name, "LogoTicket");
  const rt::Bytes ticket = rt::DocumentBytes(logo_ticket);
  const rt::Bytes download = rt::LogoDownloadBytes();
  rt::Bytes both = download;
  both.insert(both.end(), ticket.begin(), ticket.end());

  auto printer = Open(render::kDots80mm);
  ASSERT_EQ(SendData(download.data(), static_cast<int32_t>(download.size())), 0);
  SetCurrentModel("Vorn-101", 80);
  ASSERT_EQ(logo_ticket.print(0), 0);
  const Bitmap with_logos = Printed(printer);
  EXPECT_TRUE(with_logos == rt::Render(both).Roll());
  EXPECT_FALSE(with_logos == rt::Render(ticket).Roll());

  // The bar code receipt prints flash logo 1.
  const rt::SampleDocument& flash_ticket = rt::SampleDocuments()[2];
  ASSERT_STREQ(flash_ticket.name, "FontBarcodeTicket");
  const rt::Bytes second = rt::DocumentBytes(flash_ticket);
  ForgetVirtualPrinter();
  auto later = Open(render::kDots80mm);
  SetCurrentModel("Vorn-101", 80);
  ASSERT_EQ(flash_ticket.print(0), 0);
  const std::filesystem::path store = dir_.path() / "data" / "tillvane" / "flash-logos.bin";
  ASSERT_TRUE(std::filesystem::exists(store));
  EXPECT_TRUE(Printed(later) == rt::Render(second, render::kDots80mm, 0, store).Roll());
  EXPECT_FALSE(Printed(later) == rt::Render(second).Roll());
}

// The port page's fifth row: the printer gets the model's paper width, answers the
// communication test whatever its state, and takes the line feed that proves the link.
TEST_F(VirtualLinkTest, ApplyingTheVirtualRowOpensAndProvesItAtTheModelsPaperWidth) {
  struct Case {
    int32_t width;
    int dots;
    PrinterStatus state;
  };
  PrinterStatus offline;
  offline.offline = offline.paper_out = offline.cover_open = true;
  for (const Case& c : {Case{80, render::kDots80mm, {}}, Case{56, render::kDotsNarrow, offline}}) {
    SetCurrentModel("Vorn-101", c.width);
    Links().Kind = LinkKind::None;
    LinkChoice choice;
    choice.kind = LinkKind::Virtual;
    // The printer of the run keeps its state across openings at the same width.
    std::string why;
    ASSERT_TRUE(OpenVirtualLink(c.dots, &why)) << why;
    VirtualPrinterOfLink()->SetStatus(c.state);
    VirtualPrinterOfLink()->ClearPaper();

    const LinkResult r = OpenAndProve(choice);
    EXPECT_EQ(r.outcome, LinkOutcome::Opened) << c.width << ": " << r.reason;
    EXPECT_EQ(Links().Kind, LinkKind::Virtual);
    auto printer = VirtualPrinterOfLink();
    ASSERT_TRUE(WaitVirtualPrinterIdle(5000));
    const auto shot = printer->Take();
    EXPECT_EQ(shot.current.width(), c.dots);
    // GS r 1 and the line feed; the answer was read by the test.
    EXPECT_EQ(shot.report.bytes, 4u);
    EXPECT_EQ(shot.report.replies, 1u);
    EXPECT_EQ(shot.report.unknown_bytes, 0u);
    EXPECT_GT(shot.current.height(), 0);
    EXPECT_EQ(rt::CountDots(shot.current), 0);
    EXPECT_EQ(ReadVirtualAnswers(nullptr, 0), 0);
    EXPECT_EQ(JobBlockSize(LinkKind::Virtual), 1);
  }
}

// The command-file stream sends the file a byte per call through the link's input
// buffer and printing thread; the paper shows what the renderer draws of the file.
TEST_F(VirtualLinkTest, ACommandFileStreamedIntoThePrinterPrintsAsTheFileRenders) {
  const rt::SampleDocument& d = rt::SampleDocuments()[6];
  ASSERT_STREQ(d.name, "AccountTicket");
  const rt::Bytes file = rt::DocumentBytes(d);
  const std::filesystem::path path = dir_.path() / "Account.dat";
  ::tillvane::testing::WriteFileBytes(path, file);

  LinkChoice choice;
  choice.kind = LinkKind::Virtual;
  ASSERT_EQ(OpenAndProve(choice).outcome, LinkOutcome::Opened);
  auto printer = VirtualPrinterOfLink();
  ASSERT_TRUE(WaitVirtualPrinterIdle(5000));
  printer->ClearPaper();

  jobs::QueueDispatcher dispatcher;
  jobs::testing::RecordingWindow window;
  ASSERT_EQ(jobs::StartCommandFileStream(dispatcher, window, path.string(), dir_.path().string()),
            jobs::StartResult::Started);
  jobs::testing::RunJobsToEnd(dispatcher);
  EXPECT_EQ(window.off_thread_calls, 0);
  ASSERT_FALSE(window.texts.empty());
  EXPECT_EQ(window.texts.back().text,
            std::to_string(file.size()) + "/" + std::to_string(file.size()) + "bytes");

  const Bitmap printed = Printed(printer);
  const Bitmap expected = rt::Render(file).Roll();
  EXPECT_GT(rt::CountDots(printed), 1000);
  EXPECT_TRUE(printed == expected)
      << d.name << ": " << printed.height() << " rows against " << expected.height();
  EXPECT_EQ(printer->Take().report.bytes, file.size() + 4);
}

}  // namespace
}  // namespace tillvane
