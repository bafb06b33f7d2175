// PrintDemoReceipt, the demo page's click without the window: every receipt in both
// paper widths against its golden bytes, on a serial and a print-queue link, with and
// without the copy to the command file; and what a failed send leaves.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/posfun.h"
#include "commands/ram_logos.h"
#include "config/current_model.h"
#include "link/link_state.h"
#include "session/window_session.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using testing::Bytes;

struct ReceiptCase {
  DemoReceipt receipt;
  std::vector<std::string> wide;  // golden files, in the order sent
  std::vector<std::string> narrow;
};

const std::vector<ReceiptCase>& Cases() {
  static const std::vector<ReceiptCase> cases = {
      {DemoReceipt::Sample, {"SampleTicket"}, {"SampleTicket56"}},
      {DemoReceipt::LogoBar,
       {"LogoTicket", "FontBarcodeTicket"},
       {"LogoTicket56", "FontBarcodeTicket56"}},
      {DemoReceipt::TwoPart, {"TwoPartTicket"}, {"TwoPartTicket56"}},
      {DemoReceipt::CleanReceipt, {"CleanReceiptTicket"}, {"CleanReceiptTicket56"}},
      {DemoReceipt::Atm, {"AtmTicket"}, {"AtmTicket56"}},
      {DemoReceipt::Account, {"AccountTicket"}, {"AccountTicket56"}},
      {DemoReceipt::WideAccount, {"WideAccountTicket"}, {"WideAccountTicket56"}},
  };
  return cases;
}

Bytes GoldenBytes(const std::vector<std::string>& files) {
  Bytes all;
  for (const std::string& f : files) {
    const Bytes b = testing::ReadFileBytes(testing::GoldenDir() / (f + ".bin"));
    EXPECT_FALSE(b.empty()) << f;
    all.insert(all.end(), b.begin(), b.end());
  }
  return all;
}

class DemoReceiptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) RamLogoLoaded()[i] = false;
  }
  void TearDown() override {
    ResetLinkState();
    SetCurrentModel("", 80);
  }
  testing::ScopedTempDir dir_;
  testing::MessageRecorder messages_;
};

TEST_F(DemoReceiptTest, EveryReceiptInBothWidthsOnSerialAndQueue) {
  for (const ReceiptCase& c : Cases()) {
    for (bool narrow : {false, true}) {
      for (int32_t kind : {LinkSerial, LinkPrintQueue}) {
        for (bool to_file : {false, true}) {
          SCOPED_TRACE(c.wide[0] + (narrow ? " narrow" : " 80 mm") +
                       (kind == LinkSerial ? " serial" : " queue") + (to_file ? " to file" : ""));
          std::filesystem::remove(dir_.path() / kCommandFileName);
          SetCurrentModel("", narrow ? 56 : 80);
          auto rec = testing::OpenRecordingLink(kind);
          PrintDemoReceipt(c.receipt, to_file, 0);
          const Bytes expected = GoldenBytes(narrow ? c.narrow : c.wide);
          EXPECT_EQ(testing::ToHex(rec->All()), testing::ToHex(expected));
          EXPECT_EQ(Links().PrintToFile.load(), to_file);
          // One document on the queue, however many receipts it holds.
          EXPECT_EQ(rec->starts, kind == LinkPrintQueue ? 1 : 0);
          EXPECT_EQ(rec->ends, kind == LinkPrintQueue ? 1 : 0);
          const std::filesystem::path copy = dir_.path() / kCommandFileName;
          ASSERT_EQ(std::filesystem::exists(copy), to_file);
          if (to_file)
            EXPECT_EQ(testing::ToHex(testing::ReadFileBytes(copy)), testing::ToHex(expected));
        }
      }
    }
  }
  EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(DemoReceiptTest, CutterModeReachesTheReceipt) {
  auto full = testing::OpenRecordingLink(LinkSerial);
  PrintDemoReceipt(DemoReceipt::Sample, false, 0);
  const Bytes with_full_cut = full->All();
  auto none = testing::OpenRecordingLink(LinkSerial);
  PrintDemoReceipt(DemoReceipt::Sample, false, 2);
  EXPECT_NE(none->All(), with_full_cut);
  EXPECT_LT(none->All().size(), with_full_cut.size());
}

TEST_F(DemoReceiptTest, FailedFirstReceiptSendsNoSecondAndSaysSo) {
  auto rec = testing::OpenRecordingLink(LinkSerial);
  rec->accept = [](size_t index) { return index < 3; };
  PrintDemoReceipt(DemoReceipt::LogoBar, false, 0);
  const Bytes logo = GoldenBytes({"LogoTicket"});
  const Bytes sent = rec->All();
  EXPECT_LT(sent.size(), logo.size());
  EXPECT_EQ(messages_.Messages(), std::vector<std::string>{kSendFailedMessage});
}

TEST_F(DemoReceiptTest, ClosedQueueSendsNothing) {
  auto rec = testing::OpenRecordingLink(LinkPrintQueue);
  rec->start_ok = false;
  PrintDemoReceipt(DemoReceipt::Sample, false, 0);
  EXPECT_TRUE(rec->All().empty());
  EXPECT_FALSE(QueueOpen());
  EXPECT_TRUE(messages_.Messages().empty());
}

}  // namespace
}  // namespace tillvane
