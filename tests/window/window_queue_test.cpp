// The window on the print-queue link, against a private CUPS daemon with raw queues
// whose jobs land in files.
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "tests/rigs/cups_rig.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

constexpr const char* kQueue = "Vorn-102-Counter";

class QueueWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(cups_.Ready()) << cups_.Error();
    output_ = cups_.AddRawQueue(kQueue);
    ASSERT_FALSE(output_.empty()) << cups_.Error();
    other_ = cups_.AddRawQueue("Office-Laser");
    ASSERT_FALSE(other_.empty()) << cups_.Error();
    WriteIni(dir_.path(), GoldenIni(false, "/nonexistent"));
  }

  std::vector<SeenBox> ApplyQueue() {
    Click(form_->sbtnPortOption);
    Click(form_->rbtnDriver);
    return WithMessageBoxes([&] { Click(form_->sbtnApply); });
  }

  // Waits until the queue's file holds `bytes` bytes and no job is active.
  Bytes Output(size_t bytes) {
    EXPECT_TRUE(cups_.WaitForOutput(output_, bytes, 10000)) << cups_.ErrorLog();
    return rigs::ReadAll(output_);
  }

  rigs::CupsRig cups_;
  std::filesystem::path output_;
  std::filesystem::path other_;
};

TEST_F(QueueWindowTest, OnlyQueuesOfTheDriverFamilyAreOffered) {
  TMainForm& f = Open();
  EXPECT_TRUE(f.rbtnDriver->isEnabled());
  ASSERT_EQ(f.cboPrinters->count(), 1);
  EXPECT_EQ(f.cboPrinters->currentText(), QString::fromLatin1(kQueue));
}

TEST_F(QueueWindowTest, ApplyingOpensTheQueueAndPrintsOneLineFeedJob) {
  TMainForm& f = Open();
  auto boxes = ApplyQueue();
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(Links().Kind.load(), LinkKind::PrintQueue);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_TRUE(f.sbtnDemo->isEnabled());
  EXPECT_EQ(Output(1), (Bytes{0x0A}));
  const auto jobs = cups_.Jobs(kQueue);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "My Document");
}

TEST_F(QueueWindowTest, EachReceiptClickIsExactlyOneJob) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplyQueue().empty());
  Bytes expected{0x0A};
  Output(expected.size());
  auto add = [&](const Bytes& b) { expected.insert(expected.end(), b.begin(), b.end()); };

  Click(f.sbtnLogoBar);
  add(Golden("LogoTicket"));
  add(Golden("FontBarcodeTicket"));
  EXPECT_EQ(Output(expected.size()), expected);
  EXPECT_EQ(cups_.JobCount(kQueue), 2);

  Click(f.sbtnSample);
  add(Golden("SampleTicket"));
  Click(f.sbtnWideAcct);
  add(Golden("WideAccountTicket"));
  EXPECT_EQ(ToHex(Output(expected.size())), ToHex(expected));
  EXPECT_EQ(cups_.JobCount(kQueue), 4);
  for (const auto& job : cups_.Jobs(kQueue)) EXPECT_EQ(job.format, "application/vnd.cups-raw");
  EXPECT_TRUE(rigs::ReadAll(other_).empty());
}

TEST_F(QueueWindowTest, ARejectingQueueStillCountsAsOpenedButPrintsNothing) {
  ASSERT_TRUE(cups_.RejectJobs(kQueue));
  TMainForm& f = Open();
  StandardErrorCapture err;
  auto boxes = ApplyQueue();
  // A queue that opens is a working link, even if its line feed found no job; only
  // standard error tells why nothing printed, in the print server's words.
  EXPECT_TRUE(boxes.empty());
  const std::string logged = err.Text();
  EXPECT_NE(logged.find("tillvane.link: warning: print queue"), std::string::npos) << logged;
  EXPECT_NE(logged.find("not accepting jobs"), std::string::npos) << logged;
  EXPECT_EQ(Links().Kind.load(), LinkKind::PrintQueue);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  // The receipt's document cannot start: the queue is closed, silently.
  boxes = WithMessageBoxes([&] { Click(f.sbtnSample); });
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(cups_.JobCount(kQueue), 0);
}

TEST_F(QueueWindowTest, ApplyingTwiceClosesTheFirstQueue) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplyQueue().empty());
  ASSERT_TRUE(ApplyQueue().empty());
  EXPECT_EQ(Output(2), (Bytes{0x0A, 0x0A}));
  EXPECT_EQ(cups_.JobCount(kQueue), 2);
  Click(f.sbtnSample);
  EXPECT_EQ(cups_.JobCount(kQueue), 3);
}

TEST_F(QueueWindowTest, ClosingTheWindowClosesTheQueue) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(ApplyQueue().empty());
  ASSERT_TRUE((OpenLinkKind() == LinkKind::PrintQueue));
  f.close();
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
}

}  // namespace
}  // namespace tillvane::testing
