// The window with a simulated serial printer behind a pseudo-terminal, reached through
// the Ports section: opening and testing the link, the receipts byte for byte, the
// background jobs, clearing an error and closing.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "documents/ticket.h"
#include "link/link_state.h"
#include "session/job_thread.h"
#include "session/sender_gate.h"
#include "tests/rigs/serial_printer.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using rigs::SimSerialPrinter;

const Bytes kTestSequence = {0x1D, 0x72, 0x01, 0x0A};  // GS r 1, then the line feed

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool EndsWith(const Bytes& bytes, const Bytes& tail) {
  return bytes.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), bytes.rbegin());
}

class SerialWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    std::string error;
    ASSERT_TRUE(printer_.Start(&error)) << error;
    WriteIni(dir_.path(), GoldenIni(false, printer_.device_path()));
  }
  void TearDown() override {
    WindowTest::TearDown();
    printer_.Stop();
  }

  // Applies the port page with COM1 and the flow control chosen; returns the boxes it
  // showed.
  std::vector<SeenBox> ApplySerial(const QString& flow = QStringLiteral("DTR/DSR")) {
    Click(form_->sbtnPortOption);
    Click(form_->rbtnCOM);
    form_->cboCom->setCurrentText(QStringLiteral("COM1"));
    form_->cboFlowControl->setCurrentText(flow);
    return WithMessageBoxes([&] { Click(form_->sbtnApply); });
  }

  // Presses "下载文件打印" and picks `file` in the dialog as the operator does; the
  // dialog's preselected filter and its filters are noted.
  void ChooseCommandFile(const fs::path& file, QString* filter = nullptr,
                         QStringList* filters = nullptr) {
    ClickChoosingFile(form_->sbtnDownloadFile, file, [&](QFileDialog* dialog) {
      if (filter != nullptr) *filter = dialog->selectedNameFilter();
      if (filters != nullptr) *filters = dialog->nameFilters();
    });
  }

  // Waits for every background job, serving their calls into the window.
  void WaitForJobs() { jobs::WaitForJobs(form_->JobDispatcher()); }

  Bytes Printed(size_t at_least) {
    EXPECT_TRUE(printer_.WaitForReceived(at_least, 10000)) << printer_.received_count();
    return printer_.Received();
  }

  SimSerialPrinter printer_;
};

TEST_F(SerialWindowTest, ApplyingOpensTestsAndEnablesThePrintingButtons) {
  TMainForm& f = Open();
  auto boxes = ApplySerial();
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(Links().Kind.load(), LinkKind::Serial);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  for (QPushButton* b : {f.sbtnDownloadLogo, f.sbtnDemo, f.sbtnClearError, f.sbtnExit})
    EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
  EXPECT_EQ(Printed(kTestSequence.size()), kTestSequence);
  EXPECT_EQ(printer_.status_requests(), 1);
}

TEST_F(SerialWindowTest, ASilentPrinterFailsTheCommunicationTest) {
  TMainForm& f = Open();
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  StandardErrorCapture err;
  auto boxes = ApplySerial();
  ASSERT_EQ(MessageTexts(boxes), QStringList{QStringLiteral("端口通讯测试失败!")});
  ExpectReasonShownAndLogged(boxes[0], err.Text());
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
  EXPECT_FALSE(f.sbtnClearError->isEnabled());
  EXPECT_TRUE(f.sbtnExit->isEnabled());
}

TEST_F(SerialWindowTest, ASilentPrinterFailsTheTestInEnglishToo) {
  ScopedLanguage english(Language::English);
  TMainForm& f = Open();
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  auto boxes = ApplySerial();
  EXPECT_EQ(MessageTexts(boxes), QStringList{QStringLiteral("Port communication test failed!")});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].button_texts, QStringList{QStringLiteral("OK")});
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  // The test's bytes are the printer's: the same in every language.
  const Bytes got = Printed(3);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + std::min<size_t>(got.size(), 3)),
            (Bytes{0x1D, 0x72, 0x01}));
}

TEST_F(SerialWindowTest, AFailedTestAfterAWorkingLinkKeepsTheButtonsOn) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  printer_.SetMode(SimSerialPrinter::Mode::Silent);
  auto boxes = ApplySerial();
  EXPECT_EQ(MessageTexts(boxes), QStringList{QStringLiteral("端口通讯测试失败!")});
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_TRUE(f.sbtnDemo->isEnabled());
}

TEST_F(SerialWindowTest, ReceiptsReachThePrinterByteForByte) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  struct Case {
    QPushButton* button;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {f.sbtnSample, Golden("SampleTicket")},
      {f.sbtnLogoBar, Concat({Golden("LogoTicket"), Golden("FontBarcodeTicket")})},
      {f.sbtnTwoPart, Golden("TwoPartTicket")},
      {f.sbtnCleanReceipt, Golden("CleanReceiptTicket")},
      {f.sbtnATM, Golden("AtmTicket")},
      {f.sbtnAccount, Golden("AccountTicket")},
      {f.sbtnWideAcct, Golden("WideAccountTicket")},
  };
  Click(f.sbtnDemo);
  ASSERT_EQ(f.PageControl1->currentWidget(), f.tbsDemo);
  for (const Case& c : cases) {
    printer_.ClearReceived();
    auto boxes = WithMessageBoxes([&] { Click(c.button); });
    EXPECT_TRUE(boxes.empty()) << c.button->objectName().toStdString();
    EXPECT_EQ(ToHex(Printed(c.expected.size())), ToHex(c.expected))
        << c.button->objectName().toStdString();
  }
  Click(f.sbtnReturn);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
}

TEST_F(SerialWindowTest, NarrowPaperPrintsTheNarrowSetAndTheCommandFileCopy) {
  WriteIni(dir_.path(), GoldenIni(true, printer_.device_path()));
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  const std::vector<std::pair<QPushButton*, Bytes>> cases = {
      {f.sbtnSample, Golden("SampleTicket56")},
      {f.sbtnLogoBar, Concat({Golden("LogoTicket56"), Golden("FontBarcodeTicket56")})},
      {f.sbtnTwoPart, Golden("TwoPartTicket56")},
      {f.sbtnCleanReceipt, Golden("CleanReceiptTicket56")},
      {f.sbtnATM, Golden("AtmTicket56")},
      {f.sbtnAccount, Golden("AccountTicket56")},
      {f.sbtnWideAcct, Golden("WideAccountTicket56")},
  };
  f.chkPrintToFile->setChecked(true);
  Bytes all;
  for (const auto& [button, expected] : cases) {
    printer_.ClearReceived();
    Click(button);
    EXPECT_EQ(ToHex(Printed(expected.size())), ToHex(expected))
        << button->objectName().toStdString();
    all.insert(all.end(), expected.begin(), expected.end());
  }
  EXPECT_EQ(ReadFileBytes(dir_.path() / "Commands.dat"), all);
}

TEST_F(SerialWindowTest, CutterChoiceReachesThePrinter) {
  // What the document itself gives for each cutter mode.
  Bytes expected[3];
  for (int32_t mode = 0; mode < 3; ++mode) {
    auto rec = OpenRecordingLink(LinkKind::Serial);
    ASSERT_EQ(SampleTicket(mode), 0);
    expected[mode] = rec->All();
  }
  ResetLinkState();
  EXPECT_NE(expected[1], expected[0]);
  EXPECT_NE(expected[2], expected[1]);

  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  EXPECT_EQ(expected[0], Golden("SampleTicket"));
  QRadioButton* radios[3] = {f.rbtnFull, f.rbtnPart, f.rbtnNone};
  for (int mode : {1, 2, 0}) {
    Click(radios[mode]);
    printer_.ClearReceived();
    Click(f.sbtnSample);
    EXPECT_EQ(ToHex(Printed(expected[mode].size())), ToHex(expected[mode])) << mode;
  }
}

TEST_F(SerialWindowTest, AnUnpluggedPrinterShowsTheSendFailure) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.CloseMaster();
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnATM); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            QString::fromUtf8("发送数据失败!\n            Please check whether the printer is "
                              "connected to the specified port correctly"));
}

TEST_F(SerialWindowTest, APrinterThatStopsReadingMidReceiptShowsTheSendFailure) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial(QStringLiteral("Xon/Xoff")).empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  const Bytes statement = Golden("AccountTicket");
  printer_.StopReadingAfter(statement.size() / 10);
  Click(f.sbtnDemo);
  f.chkPrintToFile->setChecked(true);
  const auto start = std::chrono::steady_clock::now();
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnAccount); });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            QString::fromUtf8("发送数据失败!\n            Please check whether the printer is "
                              "connected to the specified port correctly"));
  // One send waited out its deadline (2 s for one byte); going on through the rest of
  // the statement would take more than half an hour.
  EXPECT_LT(seconds, 60.0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Nothing after the failed send was tried: the command file, which takes each send's
  // copy before the printer does, ends with it, part-way through the statement.
  const Bytes tried = ReadFileBytes(dir_.path() / "Commands.dat");
  ASSERT_GE(tried.size(), statement.size() / 10);
  ASSERT_LT(tried.size(), statement.size());
  EXPECT_TRUE(std::equal(tried.begin(), tried.end(), statement.begin()));

  // The printer reads again: it gets what the link had taken (all but the failed send),
  // and the window prints the next receipt whole.
  f.chkPrintToFile->setChecked(false);
  printer_.SetMode(SimSerialPrinter::Mode::Answer);
  ASSERT_TRUE(printer_.SendXon());
  const Bytes sample = Golden("SampleTicket");
  boxes = WithMessageBoxes([&] { Click(f.sbtnSample); });
  EXPECT_TRUE(boxes.empty());
  // Everything was written when the click returned; wait for the printer to read it.
  Bytes got = Printed(tried.size() - 2 + sample.size());
  for (int i = 0; i < 1000 && !EndsWith(got, sample); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    got = printer_.Received();
  }
  ASSERT_GE(got.size(), sample.size());
  const Bytes taken(got.begin(), got.end() - static_cast<std::ptrdiff_t>(sample.size()));
  EXPECT_EQ(ToHex(Bytes(got.end() - static_cast<std::ptrdiff_t>(sample.size()), got.end())),
            ToHex(sample));
  EXPECT_LT(taken.size(), tried.size());
  EXPECT_GE(taken.size() + 2, tried.size());  // a failed send is at most two bytes here
  EXPECT_TRUE(std::equal(taken.begin(), taken.end(), tried.begin()));
  Click(f.sbtnReturn);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(SerialWindowTest, ClearErrorSendsTheResetToThePrinterOnly) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  Links().PrintToFile = true;
  Click(f.sbtnClearError);
  EXPECT_EQ(Printed(2), (Bytes{0x1B, 0x40}));
  EXPECT_TRUE(Links().PrintToFile.load());
  EXPECT_FALSE(fs::exists(dir_.path() / "Commands.dat"));
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
}

TEST_F(SerialWindowTest, RepeatedDemoPrintsTheSampleThatManyTimes) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  f.edPieces->setValue(3);
  Click(f.sbtnStart);
  // A receipt clicked while the job runs is refused.
  Click(f.sbtnATM);
  WaitForJobs();
  const Bytes one = Golden("SampleTicket");
  EXPECT_EQ(Printed(3 * one.size()), Concat({one, one, one}));
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(SerialWindowTest, CommandFileStreamsTheChosenFile) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  Bytes content(3000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  const fs::path file = dir_.path() / "job.dat";
  WriteFileBytes(file, content);
  f.chkPrintToFile->setChecked(true);

  QString filter;
  QStringList filters;
  ChooseCommandFile(file, &filter, &filters);
  WaitForJobs();
  // Each filter's text once, with its pattern where Qt's dialog looks for it.
  EXPECT_EQ(filter, QStringLiteral("dat files(*.dat)"));
  EXPECT_EQ(filters,
            (QStringList{QStringLiteral("log files(*.bmp)"), QStringLiteral("dat files(*.dat)")}));
  EXPECT_EQ(Printed(content.size()), content);
  // Streaming never copies into the command file, whatever the box says.
  EXPECT_FALSE(fs::exists(dir_.path() / "Commands.dat"));
  EXPECT_EQ(f.Label20->text(), QStringLiteral("3000/3000bytes"));
  EXPECT_EQ(f.ProgressBar1->value(), 0);
}

TEST_F(SerialWindowTest, CancellingTheFileDialogSendsNothing) {
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  QTimer canceller;
  canceller.setInterval(5);
  QObject::connect(&canceller, &QTimer::timeout, [] {
    if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) d->reject();
  });
  canceller.start();
  Click(f.sbtnDownloadFile);
  canceller.stop();
  WaitForJobs();
  EXPECT_FALSE(SendingInProgress());
  EXPECT_EQ(printer_.received_count(), 0u);
  EXPECT_FALSE(Links().PrintToFile.load());
}

TEST_F(SerialWindowTest, LogoDownloadResetsRunsAndReportsDone) {
  for (const char* name : {"Horse.bmp", "Lion.bmp", "Map.bmp", "Dragon.bmp"})
    fs::copy_file(fs::path(TILLVANE_SOURCE_DIR) / "data" / name, dir_.path() / name);
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  Links().PrintToFile = true;
  Click(f.sbtnDownloadLogo);
  ASSERT_EQ(f.PageControl1->currentWidget(), f.tbsDownloadLogo);
  Click(f.chkHorse);
  EXPECT_FALSE(f.Image1->pixmap().isNull());
  EXPECT_EQ(f.Image1->size(), QSize(100, 65));
  Click(f.sbtnApplyDownload);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  WaitForJobs();
  EXPECT_EQ(f.Label20->text(), QStringLiteral("完  成"));
  EXPECT_EQ(f.Label20->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  for (QPushButton* b :
       {f.sbtnPortOption, f.sbtnDownloadLogo, f.sbtnDemo, f.sbtnClearError, f.sbtnExit})
    EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
  const Bytes got = Printed(8);
  ASSERT_GE(got.size(), 5u);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), (Bytes{0x1B, 0x40, 0x1D, 0x23, 0x01}));
  EXPECT_TRUE(Links().PrintToFile.load());
  EXPECT_FALSE(fs::exists(dir_.path() / "Commands.dat"));
}

TEST_F(SerialWindowTest, AFailedLogoDownloadShowsFailedInRed) {
  // A picture that is no monochrome BMP: the download stops at it.
  WriteFileBytes(dir_.path() / "Horse.bmp", Bytes{'B', 'M', 0, 1, 2, 3});
  TMainForm& f = Open();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  Click(f.sbtnDownloadLogo);
  // The preview cannot show it either.
  auto boxes = WithMessageBoxes([&] { f.chkHorse->setChecked(true); });
  EXPECT_EQ(boxes.size(), 1u);
  boxes = WithMessageBoxes([&] {
    Click(f.sbtnApplyDownload);
    WaitForJobs();
  });
  EXPECT_EQ(f.Label20->text(), QStringLiteral("Failed"));
  EXPECT_EQ(f.Label20->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_TRUE(f.sbtnPortOption->isEnabled());
  EXPECT_TRUE(f.sbtnDownloadLogo->isEnabled());
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
  EXPECT_FALSE(f.sbtnClearError->isEnabled());
  EXPECT_TRUE(f.sbtnExit->isEnabled());
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(SerialWindowTest, ClosingDuringARepeatedDemoEndsTheJobFirst) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(ApplySerial().empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  f.edPieces->setValue(100);
  Click(f.sbtnStart);
  ASSERT_TRUE(printer_.WaitForReceived(1, 10000));
  f.close();
  // The job stopped at a send boundary before the link went away.
  EXPECT_EQ(jobs::RunningJobs(), 0);
  EXPECT_FALSE(SendingInProgress());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_LT(printer_.received_count(), 100 * Golden("SampleTicket").size());
}

TEST_F(SerialWindowTest, ClosingWhileAStreamWaitsOnAStalledPrinterEndsItSilently) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(ApplySerial(QStringLiteral("Xon/Xoff")).empty());
  Printed(kTestSequence.size());
  printer_.ClearReceived();
  const fs::path file = dir_.path() / "long.dat";
  // Far more than the terminal's buffers hold, so the stream cannot end in them
  // before the printer's XOFF arrives.
  WriteFileBytes(file, Bytes(200000, 'A'));
  printer_.StopReadingAfter(1000);
  ChooseCommandFile(file);
  ASSERT_TRUE(printer_.WaitForReceived(1000, 10000));
  // The stream now waits in a write that the printer holds back (2 s per byte).
  QTest::qWait(300);
  ASSERT_EQ(jobs::RunningJobs(), 1);
  auto boxes = WithMessageBoxes([&] { f.close(); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(jobs::RunningJobs(), 0);
  EXPECT_FALSE(SendingInProgress());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_LT(printer_.received_count(), 200000u);
}

TEST_F(SerialWindowTest, ClosingReleasesTheSerialPort) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(ApplySerial().empty());
  ASSERT_TRUE((OpenLinkKind() == LinkKind::Serial));
  f.close();
  EXPECT_FALSE((OpenLinkKind() == LinkKind::Serial));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_FALSE(f.Timer1->isActive());
}

}  // namespace
}  // namespace tillvane::testing
