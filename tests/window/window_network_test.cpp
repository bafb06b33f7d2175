// The window with the simulated network printer on the loopback interface: the port
// page's network row, applying it against printers that misbehave, the paper state in
// the status bar, the printer status button, and the command-file stream with the
// window closing during it. The link's own cases are in tests/network and
// tests/session.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "link/link_state.h"
#include "link/network_link.h"
#include "session/job_thread.h"
#include "session/sender_gate.h"
#include "tests/rigs/network_printer.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using rigs::SimNetworkPrinter;
using Clock = std::chrono::steady_clock;

const Bytes kTestSequence = {0x1D, 0x72, 0x01, 0x0A};  // GS r 1, then the line feed
const QString kConnectFailed = QStringLiteral("网络打印机连接失败！请检查打印机地址和网络连接！");
const QString kTestFailed = QStringLiteral("端口通讯测试失败!");

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class NetworkWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    std::string error;
    ASSERT_TRUE(printer_.Start(SimNetworkPrinter::Family::IPv4, 0, &error)) << error;
    // A connect deadline of 2 s rather than 5 keeps the test short.
    WriteIni(dir_.path(), GoldenIni(false, (dir_.path() / "no-such-tty").string()) +
                              "\n[Network]\n" + printer_.AddressLine() + "\nConnectTimeout=2\n");
  }
  void TearDown() override {
    WindowTest::TearDown();
    printer_.Stop();
  }

  // Applies the port page with the network printer chosen at `address` (the one the
  // ini gave when empty); returns the boxes it showed.
  std::vector<SeenBox> ApplyNetwork(const QString& address = {}) {
    Click(form_->sbtnPortOption);
    Click(form_->rbtnNetwork);
    if (!address.isEmpty()) form_->edAddress->setText(address);
    return WithMessageBoxes([&] { Click(form_->sbtnApply); });
  }

  void WaitForJobs() { jobs::WaitForJobs(form_->JobDispatcher()); }

  // Starts the command-file stream of `file` from the demo page, choosing it in the
  // file dialog as the operator does.
  void StreamFile(const fs::path& file) { ClickChoosingFile(form_->sbtnDownloadFile, file); }

  Bytes Printed(size_t at_least) {
    EXPECT_TRUE(printer_.WaitForReceived(at_least, 10000)) << printer_.received_count();
    return printer_.Received();
  }

  // Presses the status button; returns the boxes and how often a 20 ms timer fired
  // meanwhile (it fires only while the window's thread runs its event loop).
  std::vector<SeenBox> PressStatus(int* ticks) {
    QTimer ticker;
    ticker.setInterval(20);
    *ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [ticks] { ++*ticks; });
    ticker.start();
    auto boxes = WithMessageBoxes([&] { Click(form_->sbtnPrinterStatus); });
    ticker.stop();
    return boxes;
  }

  SimNetworkPrinter printer_;
};

TEST_F(NetworkWindowTest, TheRowTakesItsAddressFromTheIniAndIsAlwaysUsable) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  EXPECT_EQ(f.rbtnNetwork->text(), QStringLiteral("网络打印机"));
  EXPECT_EQ(f.edAddress->text(), QString::fromStdString(printer_.Address()));
  EXPECT_FALSE(f.rbtnNetwork->isChecked());
  for (QAbstractButton* r :
       {static_cast<QAbstractButton*>(f.rbtnCOM), static_cast<QAbstractButton*>(f.rbtnLPT),
        static_cast<QAbstractButton*>(f.rbtnNetwork)}) {
    Click(r);
    EXPECT_TRUE(f.rbtnNetwork->isEnabled());
    EXPECT_TRUE(f.edAddress->isEnabled());
    EXPECT_FALSE(f.edAddress->isReadOnly());
  }
  // Choosing it greys the other kinds' settings.
  EXPECT_FALSE(f.gbCOM->isEnabled());
  EXPECT_FALSE(f.gbLPT->isEnabled());
  EXPECT_FALSE(f.cboCom->isEnabled());
  // Every row fits the fixed page, none overlapping the next or the buttons.
  const QWidget* rows[] = {f.gbCOM, f.gbLPT, f.gbUsb, f.gbDriver, f.gbNetwork};
  for (size_t i = 1; i < std::size(rows); ++i)
    EXPECT_LE(rows[i - 1]->geometry().bottom(), rows[i]->geometry().top()) << i;
  EXPECT_LT(f.gbNetwork->geometry().bottom(), f.sbtnApply->geometry().top());
  EXPECT_LE(f.sbtnApply->geometry().bottom(), f.Panel6->height());
}

TEST_F(NetworkWindowTest, ApplyingProvesTheLinkEnablesTheButtonsAndShowsThePaperState) {
  printer_.SetPaperStatus(0x01);
  TMainForm& f = Open();
  EXPECT_FALSE(f.sbtnPrinterStatus->isEnabled());
  auto boxes = ApplyNetwork();
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(Links().Kind.load(), LinkKind::Network);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  for (QPushButton* b :
       {f.sbtnDownloadLogo, f.sbtnDemo, f.sbtnClearError, f.sbtnPrinterStatus, f.sbtnExit})
    EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
  EXPECT_EQ(Printed(kTestSequence.size()), kTestSequence);
  EXPECT_EQ(f.LabelPrinterState->text(), QStringLiteral("纸将尽"));

  // Applied again with the paper out, then with a ready printer.
  printer_.SetPaperStatus(0x0C);
  ASSERT_TRUE(ApplyNetwork().empty());
  EXPECT_EQ(f.LabelPrinterState->text(), QStringLiteral("缺纸"));
  printer_.SetPaperStatus(0x00);
  ASSERT_TRUE(ApplyNetwork().empty());
  EXPECT_EQ(f.LabelPrinterState->text(), QStringLiteral("就绪"));
}

TEST_F(NetworkWindowTest, EachMisbehavingPrinterGivesItsMessageAndLeavesTheWindowUsable) {
  TMainForm& f = Open();
  struct Case {
    const char* what;
    std::function<void()> misbehave;
    QString address;
    QString message;
    const char* detail;  // a part of the reason shown as the box's detail
    int64_t within_ms;
  };
  // Refused at once; no connection taken within the ini's 2 s; no answer within 4 s.
  const Case cases[] = {
      {"refusing",
       [&] { printer_.SetRefusing(true); },
       {},
       kConnectFailed,
       "busy with another host",
       2000},
      {"never answering", [&] { printer_.SetSilent(true); }, {}, kTestFailed, "GS r 1", 6000},
      {"taking no connection",
       [&] { printer_.SetUnresponsive(true); },
       {},
       kConnectFailed,
       "deadline passed",
       4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.misbehave();
    SleepMs(200);
    const auto start = Clock::now();
    StandardErrorCapture err;
    auto boxes = ApplyNetwork(c.address);
    const std::string standard_error = err.Text();
    EXPECT_LT(MsSince(start), c.within_ms);
    ASSERT_EQ(boxes.size(), 1u) << MessageTexts(boxes).join("|").toStdString();
    ExpectReasonShownAndLogged(boxes[0], standard_error);
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
    EXPECT_TRUE(boxes[0].detail.contains(QLatin1String(c.detail))) << boxes[0].detail.toStdString();
    EXPECT_EQ(Links().Kind.load(), LinkKind::None);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
    EXPECT_TRUE(f.LabelPrinterState->text().isEmpty());
    EXPECT_FALSE(SendingInProgress());

    // The window is usable: with the printer well again, the next apply passes.
    printer_.SetRefusing(false);
    printer_.SetSilent(false);
    printer_.SetUnresponsive(false);
    SleepMs(200);
    auto again = ApplyNetwork(QString::fromStdString(printer_.Address()));
    EXPECT_TRUE(again.empty()) << MessageTexts(again).join("|").toStdString();
    EXPECT_EQ(Links().Kind.load(), LinkKind::Network);
  }
}

TEST_F(NetworkWindowTest, TheStatusButtonShowsEachFlagAndWhatCameBackNotUnderstood) {
  printer_.SetRealTimeStatus(1, 0x1A);  // offline
  printer_.SetRealTimeStatus(2, 0x36);  // cover open, stopped for paper end
  printer_.SetRealTimeStatus(3, 0x1A);  // cutter error
  printer_.SetRealTimeStatus(4, 0x81);  // fails the fixed-bit check
  TMainForm& f = Open();
  ASSERT_TRUE(ApplyNetwork().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  Links().PrintToFile = true;
  int ticks = 0;
  auto boxes = PressStatus(&ticks);
  ASSERT_EQ(boxes.size(), 1u);
  const QString text = boxes[0].text;
  EXPECT_TRUE(text.contains(QStringLiteral("DLE EOT 1: 0x1A  00011010  脱机 (offline)")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("纸仓盖打开 (cover open)")));
  EXPECT_TRUE(text.contains(QStringLiteral("缺纸停止打印 (printing stopped for paper end)")));
  EXPECT_TRUE(
      text.contains(QStringLiteral("DLE EOT 3: 0x1A  00011010  切刀错误 (auto-cutter error)")));
  EXPECT_TRUE(
      text.contains(QStringLiteral("DLE EOT 4: 0x81  10000001  无法识别 (not understood)")));
  EXPECT_FALSE(text.contains(QStringLiteral("无应答")));
  // The requests went to the printer, one at a time, and never into the command file.
  EXPECT_EQ(printer_.Received(), FromHex("10 04 01 10 04 02 10 04 03 10 04 04"));
  EXPECT_FALSE(fs::exists(dir_.path() / "Commands.dat"));
  EXPECT_TRUE(f.sbtnPrinterStatus->isEnabled());
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(NetworkWindowTest, APrinterThatAnswersNothingGivesNoAnswerForEachWhileTheWindowPaints) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplyNetwork().empty());
  printer_.SetSilent(true);
  int ticks = 0;
  const auto start = Clock::now();
  auto boxes = PressStatus(&ticks);
  EXPECT_GE(MsSince(start), 1990);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.count(QStringLiteral("无应答 (no answer)")), 4)
      << boxes[0].text.toStdString();
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("DLE EOT 1, 2, 3, 4")));
  // The window's event loop ran all the while the answers were waited for.
  EXPECT_GE(ticks, 50);
  EXPECT_TRUE(f.sbtnPrinterStatus->isEnabled());
}

TEST_F(NetworkWindowTest, TheStatusButtonFollowsWhetherTheOpenLinkCanAnswer) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplyNetwork().empty());
  EXPECT_TRUE(f.sbtnPrinterStatus->isEnabled());
  // A failed apply leaves the four printing buttons as they were, but no link is open
  // any more that could answer.
  printer_.SetRefusing(true);
  SleepMs(200);
  EXPECT_EQ(MessageTexts(ApplyNetwork()), QStringList{kConnectFailed});
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_TRUE(f.sbtnDemo->isEnabled());
  EXPECT_FALSE(f.sbtnPrinterStatus->isEnabled());
}

TEST_F(NetworkWindowTest, TheCommandFileStreamArrivesWholeAndClosingDuringAStreamEndsCleanly) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(ApplyNetwork().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  Bytes content(3 * 1024 * 1024 + 5);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(0x20 + (i * 7) % 0x50);  // no request sequences
  const fs::path file = dir_.path() / "job.dat";
  WriteFileBytes(file, content);

  auto stream = [&] { StreamFile(file); };
  Click(f.sbtnDemo);
  stream();
  WaitForJobs();
  EXPECT_TRUE(Printed(content.size()) == content);
  EXPECT_EQ(f.Label20->text(),
            QString::number(content.size()) + "/" + QString::number(content.size()) + "bytes");

  // Again, a longer file into a printer that reads slowly, and the window closes
  // mid-stream. The printer reads at full speed again as the window closes, so that
  // the closing handshake can drain what is in flight.
  const Bytes long_content(48 * 1024 * 1024, 0x41);
  WriteFileBytes(file, long_content);
  printer_.ClearReceived();
  printer_.SetRecording(false);
  printer_.SetOnReceive([](const uint8_t*, size_t) { SleepMs(2); });
  stream();
  ASSERT_TRUE(printer_.WaitForReceived(100000, 10000));
  const int closes_before = printer_.orderly_closes();
  printer_.SetOnReceive(nullptr);
  auto boxes = WithMessageBoxes([&] { f.close(); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(jobs::RunningJobs(), 0);
  EXPECT_FALSE(SendingInProgress());
  EXPECT_NE(OpenLinkKind(), LinkKind::Network);
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_LT(printer_.received_count(), long_content.size());
  EXPECT_TRUE(printer_.WaitForNoConnection(5000));
  EXPECT_EQ(printer_.orderly_closes(), closes_before + 1);
}

// A printer that stops reading, or resets the connection, part-way through a stream:
// the stream ends with the send failure within the write deadline (1 s here), the
// link is closed, and applying it again with the printer well gets the next job
// through. A printer slow to close its side holds the next apply for 2 s at most.
TEST_F(NetworkWindowTest,
       AStreamIntoAPrinterThatStopsReadingOrResetsFailsAndTheLinkIsAppliedAgain) {
  WriteIni(dir_.path(), GoldenIni(false, (dir_.path() / "no-such-tty").string()) + "\n[Network]\n" +
                            printer_.AddressLine() + "\nConnectTimeout=2\nWriteTimeout=1\n");
  TMainForm& f = Open();
  f.show();
  const Bytes content(16 * 1024 * 1024, 0x41);
  const fs::path file = dir_.path() / "job.dat";
  WriteFileBytes(file, content);
  struct Case {
    const char* what;
    std::function<void(bool)> misbehave;
  };
  const Case cases[] = {
      {"stops reading",
       [&](bool on) {
         printer_.SetStopReadingAfter(on ? std::optional<size_t>(65536) : std::nullopt);
       }},
      {"resets",
       [&](bool on) { printer_.SetResetAfter(on ? std::optional<size_t>(65536) : std::nullopt); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ApplyNetwork().empty());
    Printed(kTestSequence.size());
    printer_.SetRecording(false);
    c.misbehave(true);
    Click(f.sbtnDemo);
    const auto start = Clock::now();
    auto boxes = WithMessageBoxes([&] {
      StreamFile(file);
      WaitForJobs();
    });
    EXPECT_LT(MsSince(start), 15000);
    ASSERT_EQ(boxes.size(), 1u) << MessageTexts(boxes).join("|").toStdString();
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("数据不能发送!")))
        << boxes[0].text.toStdString();
    EXPECT_LT(printer_.received_count(), content.size());
    EXPECT_FALSE(SendingInProgress());
    // The failed write closed the link: a receipt now fails at once.
    const auto again = Clock::now();
    auto receipt = WithMessageBoxes([&] { Click(f.sbtnSample); });
    EXPECT_LT(MsSince(again), 1000);
    ASSERT_EQ(receipt.size(), 1u) << MessageTexts(receipt).join("|").toStdString();
    EXPECT_TRUE(receipt[0].text.startsWith(QStringLiteral("发送数据失败!")));

    c.misbehave(false);
    printer_.SetRecording(true);
    printer_.ClearReceived();
    Click(f.sbtnReturn);
    ASSERT_TRUE(ApplyNetwork().empty());
    Printed(kTestSequence.size());
  }

  // Applying another link waits for the printer to close its side, 2 s at most.
  printer_.SetCloseDelayMs(5000);
  Click(f.sbtnReturn);
  Click(f.sbtnPortOption);
  Click(f.rbtnVirtual);
  const auto start = Clock::now();
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_LT(MsSince(start), 3500);
  EXPECT_EQ(Links().Kind.load(), LinkKind::Virtual);
  EXPECT_NE(OpenLinkKind(), LinkKind::Network);
}

}  // namespace
}  // namespace tillvane::testing
