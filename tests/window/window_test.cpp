// The main window driven through its own buttons, with recording printers behind the
// core's link state where no simulated printer is needed.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "app/index_picture.h"
#include "base/message_sink.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "session/sender_gate.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;

const QString kSendFailed = QString::fromUtf8(
    "发送数据失败!\n            Please check whether the printer is connected to the specified "
    "port correctly");

// ---------------------------------------------------------------------------------
// Start-up.

TEST_F(WindowTest, StartUpOffersOnlyPortSettingsAndExit) {
  TMainForm& f = Open();
  // The caption as the file says, then the file that was read.
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Shopfloor V2.41 — ") + IniPath());
  EXPECT_EQ(f.size(), QSize(685, 548));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_TRUE(f.sbtnPortOption->isEnabled());
  EXPECT_TRUE(f.sbtnExit->isEnabled());
  EXPECT_FALSE(f.sbtnDownloadLogo->isEnabled());
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
  EXPECT_FALSE(f.sbtnClearError->isEnabled());

  // The disabled buttons do nothing when clicked.
  Click(f.sbtnDemo);
  Click(f.sbtnDownloadLogo);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);

  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_FALSE(Links().PrintToFile.load());
  EXPECT_EQ(Links().BusyTimeout.load(), kBusyTimeoutNormal);
  EXPECT_EQ(f.CutterMode(), 0);
  EXPECT_TRUE(f.rbtnFull->isChecked());
  EXPECT_FALSE(f.chkPrintToFile->isChecked());
  EXPECT_EQ(f.ProgramFolder(), dir_.path().string());
  EXPECT_EQ(f.BaseDriverName(), "Vorn-102");
}

TEST_F(WindowTest, ModelsComeFromTheConfigurationFile) {
  WriteIni(dir_.path(), StandardIni(dir_.path(), 3));
  TMainForm& f = Open();
  ASSERT_EQ(f.cboPrinterModel->count(), 3);
  EXPECT_EQ(f.cboPrinterModel->itemText(0), QStringLiteral("TM-80"));
  EXPECT_EQ(f.cboPrinterModel->itemText(2), QStringLiteral("Narrow-56"));
  EXPECT_FALSE(f.cboPrinterModel->isEditable());
  EXPECT_EQ(f.cboPrinterModel->currentIndex(), 2);
  EXPECT_EQ(CurrentModelName(), "Narrow-56");
  EXPECT_EQ(PaperWidth(), 56);
  ASSERT_EQ(f.Models().ModelCount, 3);
  EXPECT_EQ(f.Models().ModelTable[1].Name, "Vorn-101");
}

TEST_F(WindowTest, EmptyApplicationNameKeepsTheLeadingSpace) {
  WriteIni(dir_.path(), "[Common]\nApplicationName=\n[Pos1]\nName=A\nWidth=80\n");
  EXPECT_EQ(Open().windowTitle(), QStringLiteral(" V2.41 — ") + IniPath());
}

TEST_F(WindowTest, MissingConfigurationGivesTheDefaultCaption) {
  fs::remove(dir_.path() / "Tillvane.ini");
  TMainForm& f = Open();
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Tillvane V2.41 — 无配置文件"));
  EXPECT_TRUE(f.ConfigFile().path.empty());
  // With no model listed the built-in one is in force, for the 80 mm receipts.
  ASSERT_EQ(f.cboPrinterModel->count(), 1);
  EXPECT_EQ(f.cboPrinterModel->currentText(), QString::fromLatin1(kBuiltInModelName));
  EXPECT_EQ(PaperWidth(), 80);
}

TEST_F(WindowTest, DefaultOutsideTheListFallsBackToTheFirstModel) {
  WriteIni(dir_.path(), StandardIni(dir_.path(), 9));
  TMainForm& f = Open();
  EXPECT_EQ(f.cboPrinterModel->currentIndex(), 0);
  EXPECT_EQ(CurrentModelName(), "TM-80");
}

TEST_F(WindowTest, StatusBarHoldsProgressJobTextAndClock) {
  TMainForm& f = Open();
  const QRect bar = f.StatusBarProcess->geometry();
  EXPECT_EQ(bar, QRect(0, 518, 685, 30));
  EXPECT_EQ(f.ProgressBar1->geometry(), QRect(163, 518 + 4, 155, 24));
  EXPECT_EQ(f.ProgressBar1->value(), 0);
  EXPECT_EQ(f.ProgressBar1->minimum(), 0);
  EXPECT_EQ(f.ProgressBar1->maximum(), 100);
  EXPECT_FALSE(f.ProgressBar1->isHidden());
  EXPECT_EQ(f.Label20->pos(), QPoint(330, 518 + 5));
  EXPECT_TRUE(f.Label20->text().isEmpty());
  EXPECT_FALSE(f.Label20->isHidden());
  EXPECT_EQ(f.Label19->pos(), QPoint(510, 518 + 5));
  EXPECT_EQ(f.Panel1->geometry(), QRect(0, 0, 685, 65));
  EXPECT_EQ(f.Label8->text(), QStringLiteral("Tillvane"));
  EXPECT_EQ(f.Label8->pos(), QPoint(192, 16));
  EXPECT_EQ(f.PageControl1->geometry().top(), 65);
  EXPECT_EQ(f.PageControl1->geometry().bottom() + 1, 518);
}

TEST_F(WindowTest, ClockShowsTheLocalMinuteAndRunsEveryThirtySeconds) {
  TMainForm& f = Open();
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 30000);

  auto expected = [] {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return QString::fromLatin1(text);
  };
  const QString before = expected();
  f.UpdateClock();
  const QString shown = f.Label19->text();
  const QString after = expected();
  EXPECT_TRUE(shown == before || shown == after) << shown.toStdString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"))
                  .match(shown)
                  .hasMatch());
}

TEST(Clock, ShowsLeadingZerosAndNoSeconds) {
  std::tm t{};
  t.tm_year = 2004 - 1900;
  t.tm_mon = 0;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 59;
  EXPECT_EQ(TMainForm::ClockText(t), QStringLiteral("2004-01-03 09:05"));
  t.tm_year = 2004 - 1900;
  t.tm_mon = 10;
  t.tm_mday = 8;
  t.tm_hour = 23;
  t.tm_min = 59;
  EXPECT_EQ(TMainForm::ClockText(t), QStringLiteral("2004-11-08 23:59"));
}

TEST_F(WindowTest, IndexPageShowsItsPictureAndFiveButtons) {
  fs::copy_file(fs::path(TILLVANE_SOURCE_DIR) / "data" / "index.jpg", dir_.path() / "index.jpg");
  TMainForm& f = Open();
  EXPECT_EQ(f.Image2->size(), QSize(233, 313));
  ASSERT_FALSE(f.Image2->pixmap().isNull());
  EXPECT_EQ(f.Image2->pixmap().size(), QSize(234, 314));
  EXPECT_TRUE(f.Image2->hasScaledContents());
  EXPECT_EQ(f.Label15->text(), QStringLiteral("Ver 2.41"));
  EXPECT_TRUE(f.Image2->geometry().contains(f.Label15->geometry().bottomRight()));
  EXPECT_EQ(f.sbtnExit->text(), QStringLiteral("退        出"));
  for (QPushButton* b :
       {f.sbtnPortOption, f.sbtnDownloadLogo, f.sbtnDemo, f.sbtnClearError, f.sbtnExit}) {
    EXPECT_EQ(b->size(), QSize(153, 40)) << b->objectName().toStdString();
    EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
  }
}

// ---------------------------------------------------------------------------------
// The index picture decoder.

TEST(IndexPicture, DecodesOurPictureAndRefusesBrokenFiles) {
  const fs::path good = fs::path(TILLVANE_SOURCE_DIR) / "data" / "index.jpg";
  const QImage picture = LoadJpegPicture(QString::fromStdString(good.string()));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(234, 314));

  ScopedTempDir dir;
  const Bytes bytes = ReadFileBytes(good);
  auto load = [&](const std::string& name, const Bytes& content) {
    WriteFileBytes(dir.path() / name, content);
    return LoadJpegPicture(QString::fromStdString((dir.path() / name).string()));
  };
  EXPECT_TRUE(load("empty.jpg", {}).isNull());
  EXPECT_TRUE(load("half.jpg", Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2)).isNull());
  EXPECT_TRUE(load("header.jpg", Bytes(bytes.begin(), bytes.begin() + 40)).isNull());
  EXPECT_TRUE(load("text.jpg", Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'}).isNull());
  Bytes damaged = bytes;
  for (size_t i = 600; i < damaged.size() - 2; i += 7) damaged[i] = 0xFF;
  EXPECT_TRUE(load("damaged.jpg", damaged).isNull());
  EXPECT_TRUE(LoadJpegPicture(QStringLiteral("/nonexistent/index.jpg")).isNull());
}

// ---------------------------------------------------------------------------------
// Port page.

TEST_F(WindowTest, PortPageStartsOnTheSerialDefaults) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);

  EXPECT_EQ(f.cboCom->currentText(), QStringLiteral("COM1"));
  EXPECT_EQ(f.cboBaudrate->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(f.cboDatabit->currentText(), QStringLiteral("8"));
  EXPECT_EQ(f.cboStopbit->currentText(), QStringLiteral("1"));
  EXPECT_EQ(f.cboVerify->currentText(), QStringLiteral("None"));
  EXPECT_EQ(f.cboFlowControl->currentText(), QStringLiteral("DTR/DSR"));
  EXPECT_EQ(f.cboLPT->currentText(), QStringLiteral("LPT1"));
  EXPECT_EQ(f.cboCom->count(), 8);
  ASSERT_EQ(f.cboBaudrate->count(), 8);
  EXPECT_EQ(f.cboBaudrate->itemText(6), QStringLiteral("57600"));
  EXPECT_EQ(f.cboBaudrate->itemText(7), QStringLiteral("115200"));
  EXPECT_EQ(f.cboLPT->count(), 4);
  EXPECT_TRUE(f.rbtnCOM->isChecked());
  for (QComboBox* c :
       {f.cboCom, f.cboBaudrate, f.cboDatabit, f.cboStopbit, f.cboVerify, f.cboFlowControl}) {
    EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    EXPECT_FALSE(c->isEditable());
  }
  EXPECT_FALSE(f.cboLPT->isEnabled());
  EXPECT_FALSE(f.cboUsb->isEnabled());
  EXPECT_FALSE(f.cboPrinters->isEnabled());
  EXPECT_TRUE(f.gbCOM->isEnabled());
  EXPECT_TRUE(f.gbLPT->isEnabled());
  EXPECT_FALSE(f.gbUsb->isEnabled());
  EXPECT_TRUE(f.gbDriver->isEnabled());
  EXPECT_TRUE(f.rbtnCOM->isEnabled());
  EXPECT_TRUE(f.rbtnLPT->isEnabled());
  // No USB library beside the program and no print server: neither link is offered.
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  EXPECT_FALSE(f.rbtnDriver->isEnabled());
  EXPECT_EQ(f.cboPrinters->width(), 349);
  EXPECT_EQ(f.sbtnApply->text(), QStringLiteral("确         定"));
  EXPECT_EQ(f.sbtnCancel->text(), QStringLiteral("取         消"));

  // The rows, top to bottom, inside the page and clear of one another and of the two
  // buttons; every radio button beside its own row.
  EXPECT_EQ(f.rbtnVirtual->text(), QStringLiteral("虚拟打印机"));
  const QRect buttons = f.sbtnApply->geometry().united(f.sbtnCancel->geometry());
  QWidget* const rows[] = {f.gbCOM, f.gbLPT, f.gbUsb, f.gbDriver, f.rbtnVirtual};
  QRadioButton* const radios[] = {f.rbtnCOM, f.rbtnLPT, f.rbtnUsb, f.rbtnDriver, f.rbtnVirtual};
  for (size_t i = 0; i < std::size(rows); ++i) {
    const QRect row = rows[i]->geometry();
    EXPECT_TRUE(f.Panel6->rect().contains(row)) << i;
    EXPECT_LT(row.bottom(), buttons.top()) << i;
    EXPECT_FALSE(row.intersects(f.cboPrinterModel->geometry())) << i;
    if (i > 0) EXPECT_GT(row.top(), rows[i - 1]->geometry().bottom()) << i;
    const int middle = radios[i]->geometry().center().y();
    EXPECT_TRUE(middle >= row.top() && middle <= row.bottom()) << i;
  }
}

TEST_F(WindowTest, RadioButtonsEnableOnlyTheirOwnSettings) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  struct Row {
    QRadioButton* radio;
    bool com, lpt, usb, driver;
  };
  // USB and the print queue are not offered here, so their handlers are called as
  // the click would.
  f.cboBaudrate->setCurrentText(QStringLiteral("19200"));
  Click(f.rbtnLPT);
  EXPECT_TRUE(f.rbtnLPT->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{
           f.cboCom, f.cboBaudrate, f.cboVerify, f.cboDatabit, f.cboStopbit, f.cboFlowControl,
           f.gbCOM, f.cboUsb, f.gbUsb, f.cboPrinters, f.gbDriver})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(f.cboLPT->isEnabled());
  EXPECT_TRUE(f.gbLPT->isEnabled());

  f.rbtnUsbClick();
  EXPECT_TRUE(f.gbUsb->isEnabled());
  EXPECT_FALSE(f.gbLPT->isEnabled());
  EXPECT_FALSE(f.cboLPT->isEnabled());
  EXPECT_FALSE(f.gbCOM->isEnabled());

  f.rbtnDriverClick();
  EXPECT_TRUE(f.gbDriver->isEnabled());
  EXPECT_TRUE(f.cboPrinters->isEnabled());
  EXPECT_FALSE(f.gbUsb->isEnabled());
  EXPECT_FALSE(f.cboUsb->isEnabled());

  // The virtual printer is always offered and has nothing to choose.
  EXPECT_TRUE(f.rbtnVirtual->isEnabled());
  Click(f.rbtnVirtual);
  EXPECT_TRUE(f.rbtnVirtual->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{
           f.cboCom, f.cboBaudrate, f.cboVerify, f.cboDatabit, f.cboStopbit, f.cboFlowControl,
           f.gbCOM, f.cboLPT, f.gbLPT, f.cboUsb, f.gbUsb, f.cboPrinters, f.gbDriver})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

  Click(f.rbtnCOM);
  for (QComboBox* c :
       {f.cboCom, f.cboBaudrate, f.cboDatabit, f.cboStopbit, f.cboVerify, f.cboFlowControl})
    EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
  EXPECT_FALSE(f.cboLPT->isEnabled());
  EXPECT_FALSE(f.cboPrinters->isEnabled());
  // The lists keep what was chosen in them.
  EXPECT_EQ(f.cboBaudrate->currentText(), QStringLiteral("19200"));
  // The radio buttons' own enabled state is never touched.
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  EXPECT_FALSE(f.rbtnDriver->isEnabled());
}

TEST_F(WindowTest, CancelKeepsTheChoicesAndTheLink) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  Click(f.sbtnPortOption);
  f.cboBaudrate->setCurrentText(QStringLiteral("38400"));
  f.cboVerify->setCurrentText(QStringLiteral("Even"));
  Click(f.sbtnCancel);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_EQ(Links().Kind.load(), LinkKind::Serial);
  EXPECT_FALSE(rec->destroyed);
  Click(f.sbtnPortOption);
  EXPECT_EQ(f.cboBaudrate->currentText(), QStringLiteral("38400"));
  EXPECT_EQ(f.cboVerify->currentText(), QStringLiteral("Even"));
}

TEST_F(WindowTest, OnlyTheOperatorsPickChangesTheModel) {
  TMainForm& f = Open();
  ASSERT_EQ(CurrentModelName(), "TM-80");
  // The program's own selection raises no change.
  f.cboPrinterModel->setCurrentIndex(2);
  EXPECT_EQ(CurrentModelName(), "TM-80");
  EXPECT_EQ(PaperWidth(), 80);
  PickModel(2);
  EXPECT_EQ(CurrentModelName(), "Narrow-56");
  EXPECT_EQ(PaperWidth(), 56);
  PickModel(0);
  EXPECT_EQ(PaperWidth(), 80);
}

TEST_F(WindowTest, Vorn101AppliedDisablesTheCutterChoicesForGood) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  PickModel(1);
  // COM1 is mapped to a path that does not exist: the serial open fails, but the
  // cutter rule comes first.
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_EQ(MessageTexts(boxes),
            QStringList{QStringLiteral("串口打开失败！请检查打印机是否正确连接！")});
  EXPECT_FALSE(f.rbtnFull->isEnabled());
  EXPECT_FALSE(f.rbtnPart->isEnabled());
  EXPECT_FALSE(f.rbtnNone->isEnabled());
  PickModel(0);
  WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_FALSE(f.rbtnFull->isEnabled());
  EXPECT_EQ(f.CutterMode(), 0);
}

TEST_F(WindowTest, OtherModelsLeaveTheCutterChoices) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_TRUE(f.rbtnFull->isEnabled());
  EXPECT_TRUE(f.rbtnNone->isEnabled());
}

TEST_F(WindowTest, SerialOpenFailureKeepsThePageAndButtons) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  f.cboCom->setCurrentText(QStringLiteral("COM5"));
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_EQ(boxes[0].text, QStringLiteral("串口打开失败！请检查打印机是否正确连接！"));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
  EXPECT_TRUE(f.sbtnExit->isEnabled());
}

TEST_F(WindowTest, Lpt3AndLpt4AreRefusedWithTheParallelMessage) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  auto rec = OpenRecordingLink(LinkKind::Usb);  // an earlier link stays in force
  for (int i : {2, 3}) {
    Click(f.rbtnLPT);
    f.cboLPT->setCurrentIndex(i);
    auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
    EXPECT_EQ(MessageTexts(boxes),
              QStringList{QStringLiteral("并口打开失败！请检查打印机是否正确连接！")});
    EXPECT_EQ(Links().Kind.load(), LinkKind::Usb);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  }
  EXPECT_TRUE(rec->Calls().empty());
}

TEST_F(WindowTest, ApplyClosesAnOpenPrintQueueFirst) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::PrintQueue);
  Click(f.sbtnPortOption);
  WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_TRUE(rec->destroyed);
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
}

// ---------------------------------------------------------------------------------
// Demo page.

struct DemoButton {
  const char* name;
  QPushButton* TMainForm::*button;
  std::vector<int32_t (*)(int32_t)> wide;
  std::vector<int32_t (*)(int32_t)> narrow;
};

std::vector<DemoButton> DemoButtons() {
  return {
      {"sample", &TMainForm::sbtnSample, {SampleTicket}, {SampleTicket56}},
      {"logobar",
       &TMainForm::sbtnLogoBar,
       {LogoTicket, FontBarcodeTicket},
       {LogoTicket56, FontBarcodeTicket56}},
      {"twopart", &TMainForm::sbtnTwoPart, {TwoPartTicket}, {TwoPartTicket56}},
      {"clean", &TMainForm::sbtnCleanReceipt, {CleanReceiptTicket}, {CleanReceiptTicket56}},
      {"atm", &TMainForm::sbtnATM, {AtmTicket}, {AtmTicket56}},
      {"account", &TMainForm::sbtnAccount, {AccountTicket}, {AccountTicket56}},
      {"wideacct", &TMainForm::sbtnWideAcct, {WideAccountTicket}, {WideAccountTicket56}},
  };
}

// The bytes the documents themselves produce for a cutter mode, on a recording link.
Bytes DocumentBytes(const std::vector<int32_t (*)(int32_t)>& docs, int32_t cutter) {
  auto rec = OpenRecordingLink(LinkKind::Serial);
  for (auto doc : docs) EXPECT_EQ(doc(cutter), 0);
  Bytes all = rec->All();
  ResetLinkState();
  return all;
}

TEST_F(WindowTest, DemoPageControls) {
  TMainForm& f = Open();
  EXPECT_EQ(f.edPieces->minimum(), 1);
  EXPECT_EQ(f.edPieces->maximum(), 100);
  EXPECT_EQ(f.edPieces->value(), 1);
  EXPECT_FALSE(f.edPieces->wrapping());
  f.edPieces->setValue(0);
  EXPECT_EQ(f.edPieces->value(), 1);
  f.edPieces->setValue(101);
  EXPECT_EQ(f.edPieces->value(), 100);
  f.edPieces->stepUp();
  EXPECT_EQ(f.edPieces->value(), 100);
  EXPECT_EQ(f.sbtnWideAcct->text(), QStringLiteral("帐户信息（大字体）"));
  EXPECT_EQ(f.rbtnNone->text(), QStringLiteral("无 切 刀"));
  EXPECT_EQ(f.GroupBox4->title(), QStringLiteral("切刀模式"));
  EXPECT_EQ(f.chkPrintToFile->text(), QStringLiteral("打印到文件"));
  EXPECT_EQ(f.sbtnSample->size(), QSize(153, 40));
}

TEST_F(WindowTest, CutterChoiceTakesEffectWithTheNextReceipt) {
  TMainForm& f = Open();
  Click(f.rbtnPart);
  EXPECT_EQ(f.CutterMode(), 1);
  Click(f.rbtnNone);
  EXPECT_EQ(f.CutterMode(), 2);
  const Bytes expected = DocumentBytes({SampleTicket}, 2);
  auto rec = OpenRecordingLink(LinkKind::Serial);
  Click(f.sbtnSample);
  EXPECT_EQ(rec->All(), expected);
  Click(f.rbtnFull);
  EXPECT_EQ(f.CutterMode(), 0);
}

TEST_F(WindowTest, EveryReceiptButtonPrintsItsDocumentsForThePaperWidth) {
  TMainForm& f = Open();
  for (int model : {0, 2}) {
    PickModel(model);
    const bool narrow = model == 2;
    for (const DemoButton& b : DemoButtons()) {
      for (int32_t cutter : {0, 1}) {
        Click(cutter == 0 ? f.rbtnFull : f.rbtnPart);
        const Bytes expected = DocumentBytes(narrow ? b.narrow : b.wide, cutter);
        auto rec = OpenRecordingLink(LinkKind::Serial);
        auto boxes = WithMessageBoxes([&] { Click(f.*b.button); });
        EXPECT_TRUE(boxes.empty()) << b.name;
        EXPECT_EQ(rec->All(), expected) << b.name << " narrow " << narrow << " cutter " << cutter;
        EXPECT_FALSE(expected.empty()) << b.name;
      }
    }
  }
}

TEST_F(WindowTest, PrintToFileIsTakenAtEachClick) {
  TMainForm& f = Open();
  const Bytes expected = DocumentBytes({AtmTicket}, 0);
  auto rec = OpenRecordingLink(LinkKind::Serial);
  f.chkPrintToFile->setChecked(true);
  EXPECT_FALSE(Links().PrintToFile.load());  // ticking alone changes nothing
  Click(f.sbtnATM);
  EXPECT_TRUE(Links().PrintToFile.load());
  EXPECT_EQ(ReadFileBytes(dir_.path() / "Commands.dat"), expected);
  EXPECT_EQ(rec->All(), expected);

  f.chkPrintToFile->setChecked(false);
  Click(f.sbtnATM);
  EXPECT_FALSE(Links().PrintToFile.load());
  EXPECT_EQ(ReadFileBytes(dir_.path() / "Commands.dat"), expected);
  EXPECT_EQ(rec->All().size(), 2 * expected.size());
}

TEST_F(WindowTest, AFailedReceiptShowsTheSendFailureOnce) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  rec->accept = [](size_t) { return false; };
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnLogoBar); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kSendFailed);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
  // The first document failed at its first command; the second was never started.
  EXPECT_TRUE(rec->Calls().empty());
}

TEST_F(WindowTest, AReceiptThatFailsMidwayStopsThereAndSaysSo) {
  TMainForm& f = Open();
  for (const DemoButton& b : DemoButtons()) {
    for (LinkKind kind : {LinkKind::Serial, LinkKind::PrintQueue}) {
      const Bytes whole = DocumentBytes(b.wide, 0);
      size_t refused = 0;  // half-way through the first document
      {
        auto first = OpenRecordingLink(LinkKind::Serial);
        EXPECT_EQ(b.wide[0](0), 0);
        refused = first->Calls().size() / 2;
      }
      auto rec = OpenRecordingLink(kind);
      size_t attempts = 0;
      rec->accept = [&](size_t) { return attempts++ != refused; };
      auto boxes = WithMessageBoxes([&] { Click(f.*b.button); });
      EXPECT_EQ(MessageTexts(boxes), QStringList{kSendFailed}) << b.name << " link " << kind;
      // Nothing after the refused call was tried, the second document included.
      EXPECT_EQ(attempts, refused + 1) << b.name << " link " << kind;
      const Bytes got = rec->All();
      EXPECT_TRUE(got.size() < whole.size() && std::equal(got.begin(), got.end(), whole.begin()))
          << b.name;
      if (kind == LinkKind::PrintQueue) {
        // One document, ended by the failed write, which closed the queue.
        EXPECT_EQ(rec->starts, 1) << b.name;
        EXPECT_EQ(rec->ends, 1) << b.name;
        EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue)) << b.name;
      }
    }
  }
  EXPECT_FALSE(SendingInProgress());
}

TEST_F(WindowTest, SendsOnTheWindowsThreadShowTheBusyPointer) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  std::vector<int> shapes;  // the pointer at each write, on the window's thread
  rec->accept = [&](size_t) {
    const QCursor* c = QApplication::overrideCursor();
    shapes.push_back(c != nullptr ? c->shape() : -1);
    return true;
  };
  Click(f.sbtnATM);
  f.sbtnClearErrorClick();  // the index page's buttons wait for an applied link
  ASSERT_FALSE(shapes.empty());
  EXPECT_EQ(std::count(shapes.begin(), shapes.end(), Qt::WaitCursor),
            static_cast<std::ptrdiff_t>(shapes.size()));
  EXPECT_EQ(rec->Calls().back(), Bytes({0x1B, 0x40}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A failure is read with the ordinary pointer; the busy one goes with the action.
  rec->accept = [](size_t) { return false; };
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnSample); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].cursor, Qt::ArrowCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // Messages outside a send change no pointer.
  boxes = WithMessageBoxes([] { ShowMessage("plain"); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].cursor, -1);
}

TEST_F(WindowTest, OnThePrintQueueEachClickIsOneDocument) {
  TMainForm& f = Open();
  const Bytes expected = DocumentBytes({LogoTicket, FontBarcodeTicket}, 0);
  auto rec = OpenRecordingLink(LinkKind::PrintQueue);
  Click(f.sbtnLogoBar);
  EXPECT_EQ(rec->starts, 1);
  EXPECT_EQ(rec->ends, 1);
  EXPECT_EQ(rec->All(), expected);
  Click(f.sbtnSample);
  EXPECT_EQ(rec->starts, 2);
  EXPECT_EQ(rec->ends, 2);
}

TEST_F(WindowTest, APrintQueueThatCannotStartADocumentIsClosedSilently) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::PrintQueue);
  rec->start_ok = false;
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnSample); });
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_FALSE((OpenLinkKind() == LinkKind::PrintQueue));
  EXPECT_EQ(Links().Kind.load(), LinkKind::PrintQueue);
  // Later clicks fail silently at the start of their document.
  boxes = WithMessageBoxes([&] { Click(f.sbtnATM); });
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, NoReceiptWhileAnotherSenderIsSending) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  ASSERT_TRUE(TryBeginSending());
  auto boxes = WithMessageBoxes([&] {
    for (const DemoButton& b : DemoButtons()) Click(f.*b.button);
    Click(f.sbtnPortOption);
    Click(f.sbtnApply);
  });
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(rec->Calls().empty());
  EXPECT_EQ(Links().Kind.load(), LinkKind::Serial);
  EndSending();
  Click(f.sbtnSample);
  EXPECT_FALSE(rec->Calls().empty());
  EXPECT_FALSE(SendingInProgress());
}

// ---------------------------------------------------------------------------------
// Messages from the core.

TEST_F(WindowTest, WorkerMessagesWaitForTheOperator) {
  Open();
  std::atomic<bool> returned{false};
  auto boxes = WithMessageBoxes([&] {
    std::thread worker([&] {
      ShowMessage("Failed\nsecond line");
      returned = true;
    });
    while (!returned) QApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
  });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Failed\nsecond line"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
}

// ---------------------------------------------------------------------------------
// Logo page.

TEST_F(WindowTest, LogoPreviewTakesItsBoxAroundTheCentre) {
  QImage lion(30, 20, QImage::Format_Mono);
  lion.fill(0);
  ASSERT_TRUE(lion.save(QString::fromStdString((dir_.path() / "Lion.bmp").string()), "BMP"));
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  f.sbtnDownloadLogoClick();
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsDownloadLogo);
  EXPECT_EQ(f.Image1->geometry(), QRect(76, 72, 105, 105));
  EXPECT_TRUE(f.Image1->pixmap().isNull());
  const QPoint centre(76 + 105 / 2, 72 + 105 / 2);

  Click(f.chkLion);
  EXPECT_EQ(f.Image1->size(), QSize(123, 140));
  EXPECT_EQ(f.Image1->pos(), centre - QPoint(123 / 2, 140 / 2));
  EXPECT_FALSE(f.Image1->pixmap().isNull());
  Click(f.chkLion);  // unticking shows the same picture
  EXPECT_FALSE(f.chkLion->isChecked());
  EXPECT_EQ(f.Image1->size(), QSize(123, 140));
  EXPECT_FALSE(f.Image1->pixmap().isNull());

  // A missing picture: an error box, the box already moved, the old picture kept.
  auto boxes = WithMessageBoxes([&] { Click(f.chkDragon); });
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(f.Image1->size(), QSize(140, 210));
  EXPECT_EQ(f.Image1->pos(), centre - QPoint(70, 105));
  EXPECT_FALSE(f.Image1->pixmap().isNull());

  // Showing the page again keeps the centre.
  Click(f.sbtnCancelDownload);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  f.sbtnDownloadLogoClick();
  WithMessageBoxes([&] { Click(f.chkHorse); });
  EXPECT_EQ(f.Image1->pos(), centre - QPoint(50, 32));
  EXPECT_TRUE(rec->Calls().empty());
}

TEST_F(WindowTest, LogoPreviewFollowsTheBoxesHoweverTheyChange) {
  for (const char* name : {"Horse.bmp", "Lion.bmp", "Map.bmp", "Dragon.bmp"})
    fs::copy_file(fs::path(TILLVANE_SOURCE_DIR) / "data" / name, dir_.path() / name);
  TMainForm& f = Open();
  f.show();
  f.sbtnDownloadLogoClick();
  ASSERT_TRUE(f.Image1->pixmap().isNull());

  // The keyboard: focus and the space bar.
  f.chkLion->setFocus();
  QTest::keyClick(f.chkLion, Qt::Key_Space);
  EXPECT_TRUE(f.chkLion->isChecked());
  EXPECT_EQ(f.Image1->size(), QSize(123, 140));
  EXPECT_FALSE(f.Image1->pixmap().isNull());

  // Assistive technology: the box's toggle action.
  QAccessibleInterface* horse = QAccessible::queryAccessibleInterface(f.chkHorse);
  ASSERT_NE(horse, nullptr);
  ASSERT_NE(horse->actionInterface(), nullptr);
  horse->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(f.chkHorse->isChecked());
  EXPECT_EQ(f.Image1->size(), QSize(100, 65));

  // A program setting the state; unticking shows the picture too.
  f.chkMap->setChecked(true);
  EXPECT_EQ(f.Image1->size(), QSize(185, 121));
  f.chkDragon->setChecked(true);
  EXPECT_EQ(f.Image1->size(), QSize(140, 210));
  f.chkLion->setChecked(false);
  EXPECT_EQ(f.Image1->size(), QSize(123, 140));
  // A state that does not change shows nothing new.
  f.chkMap->setChecked(true);
  EXPECT_EQ(f.Image1->size(), QSize(123, 140));
}

// ---------------------------------------------------------------------------------
// Closing.

TEST_F(WindowTest, ClosingReleasesTheOpenLink) {
  for (LinkKind kind : {LinkKind::Serial, LinkKind::PrintQueue}) {
    TMainForm& f = Open();
    f.show();
    auto rec = OpenRecordingLink(kind);
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(rec->destroyed) << kind;
    EXPECT_EQ(Links().Kind.load(), LinkKind::None);
    EXPECT_FALSE(f.Timer1->isActive());
    form_.reset();
  }
}

TEST_F(WindowTest, ExitButtonClosesLikeTheCloseBox) {
  TMainForm& f = Open();
  f.show();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  Click(f.sbtnExit);
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(rec->destroyed);
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
}

}  // namespace
}  // namespace tillvane::testing
