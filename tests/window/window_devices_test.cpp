// The window with the simulated USB library and the simulated port I/O library, which
// the program loads by their bare names (this test program's RUNPATH puts their
// folders first in the search).
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <cstdlib>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "tests/rigs/parallel_sim.h"
#include "tests/rigs/usb_rig.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

using Sim = rigs::SimulatedParallelPrinter;

const QString kUsbOpenFailed = QStringLiteral("USB口打开失败！请检查打印机是否正确连接！");
const QString kTestFailed = QStringLiteral("端口通讯测试失败!");

class DevicesWindowTest : public WindowTest {
 protected:
  // Devices the simulated USB library finds when the window loads it.
  void SetUsbDevices(int n) { ::setenv("TILLVANE_SIM_USB_DEVICES", std::to_string(n).c_str(), 1); }
  void SetUp() override {
    WindowTest::SetUp();
    SetUsbDevices(2);
  }

  std::vector<SeenBox> Apply(QRadioButton* radio) {
    Click(form_->sbtnPortOption);
    Click(radio);
    return WithMessageBoxes([&] { Click(form_->sbtnApply); });
  }

  QStringList UsbItems() {
    QStringList items;
    for (int i = 0; i < form_->cboUsb->count(); ++i) items << form_->cboUsb->itemText(i);
    return items;
  }
};

TEST_F(DevicesWindowTest, UsbPrintersFoundAtStartUpAreOffered) {
  TMainForm& f = Open();
  EXPECT_TRUE(f.rbtnUsb->isEnabled());
  EXPECT_EQ(UsbItems(), (QStringList{QStringLiteral("VORNUSB-0"), QStringLiteral("VORNUSB-1")}));
  EXPECT_EQ(f.cboUsb->currentIndex(), 0);
  // Usable only once its radio button is chosen.
  EXPECT_FALSE(f.cboUsb->isEnabled());
  Click(f.sbtnPortOption);
  Click(f.rbtnUsb);
  EXPECT_TRUE(f.cboUsb->isEnabled());
  EXPECT_EQ(f.cboUsb->currentIndex(), 0);
}

TEST_F(DevicesWindowTest, NoUsbPrinterNoUsbChoice) {
  SetUsbDevices(0);
  TMainForm& f = Open();
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  EXPECT_EQ(f.cboUsb->count(), 0);
}

TEST_F(DevicesWindowTest, Vorn101AtStartUpDisablesUsbEvenWithPrinters) {
  WriteIni(dir_.path(), StandardIni(dir_.path(), 2));
  TMainForm& f = Open();
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  EXPECT_FALSE(f.cboUsb->isEnabled());
  EXPECT_EQ(f.cboUsb->currentIndex(), -1);
}

TEST_F(DevicesWindowTest, ModelChangesSwitchTheUsbChoice) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  PickModel(1);  // Vorn-101
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  EXPECT_FALSE(f.cboUsb->isEnabled());
  EXPECT_EQ(f.cboUsb->currentIndex(), -1);
  PickModel(0);
  EXPECT_TRUE(f.rbtnUsb->isEnabled());
  EXPECT_EQ(f.cboUsb->currentIndex(), 0);
  PickModel(2);
  PickModel(0);
  // Each device is listed once, however often the list is rebuilt.
  EXPECT_EQ(UsbItems(), (QStringList{QStringLiteral("VORNUSB-0"), QStringLiteral("VORNUSB-1")}));
}

TEST_F(DevicesWindowTest, ApplyingUsbOpensTestsAndPrints) {
  WriteIni(dir_.path(), GoldenIni(false, "/nonexistent"));
  TMainForm& f = Open();
  rigs::SimUsb usb;
  Click(f.sbtnPortOption);
  Click(f.rbtnUsb);
  f.cboUsb->setCurrentIndex(1);
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(Links().Kind.load(), LinkKind::Usb);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_TRUE(f.sbtnDemo->isEnabled());
  EXPECT_EQ(usb.Received(1), (Bytes{0x0A}));
  EXPECT_TRUE(usb.Received(0).empty());
  Click(f.sbtnSample);
  Bytes expected{0x0A};
  const Bytes sample = Golden("SampleTicket");
  expected.insert(expected.end(), sample.begin(), sample.end());
  EXPECT_EQ(ToHex(usb.Received(1)), ToHex(expected));
}

TEST_F(DevicesWindowTest, UsbOpenFailureShowsBothMessagesAndKeepsTheLink) {
  TMainForm& f = Open();
  rigs::SimUsb usb;
  auto earlier = OpenRecordingLink(LinkKind::Serial);
  usb.ForceOpenResult(0, 0);  // a null handle: no such device
  StandardErrorCapture err;
  auto boxes = Apply(f.rbtnUsb);
  ASSERT_EQ(MessageTexts(boxes), (QStringList{QStringLiteral("打开USB失败！"), kUsbOpenFailed}));
  ExpectReasonShownAndLogged(boxes[1], err.Text());
  EXPECT_EQ(Links().Kind.load(), LinkKind::Serial);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  EXPECT_FALSE(earlier->destroyed);
}

TEST_F(DevicesWindowTest, UsbThatTakesNoByteFailsTheTest) {
  TMainForm& f = Open();
  rigs::SimUsb usb;
  usb.FailWrites(0, 0);
  auto boxes = Apply(f.rbtnUsb);
  EXPECT_EQ(MessageTexts(boxes), QStringList{kTestFailed});
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
}

TEST_F(DevicesWindowTest, UsbChosenThenWithdrawnByTheModelAttemptsNoDevice) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  Click(f.rbtnUsb);
  PickModel(1);  // Vorn-101: the choice stays selected, greyed, with no device
  EXPECT_TRUE(f.rbtnUsb->isChecked());
  EXPECT_FALSE(f.rbtnUsb->isEnabled());
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_EQ(MessageTexts(boxes), (QStringList{QStringLiteral("打开USB失败！"), kUsbOpenFailed}));
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
}

TEST_F(DevicesWindowTest, ClosingUnloadsTheUsbLibrary) {
  TMainForm& f = Open();
  f.show();
  {
    rigs::SimUsb usb;
    ASSERT_TRUE(Apply(f.rbtnUsb).empty());
    EXPECT_EQ(usb.OpenHandles(0), 1);
  }
  f.close();
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_FALSE(rigs::LoadedUsbLibrary::IsLoaded());
}

TEST_F(DevicesWindowTest, ApplyingLpt1OpensThePortAndFeedsALine) {
  WriteIni(dir_.path(), GoldenIni(false, "/nonexistent"));
  Sim::Hold hold;
  ASSERT_TRUE(hold.ok());
  Sim::Reset();
  TMainForm& f = Open();
  auto boxes = Apply(f.rbtnLPT);
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(Links().Kind.load(), LinkKind::Parallel);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsMain);
  EXPECT_TRUE(f.sbtnClearError->isEnabled());
  EXPECT_EQ(Sim::Printed(), (Bytes{0x0A}));
  Click(f.sbtnATM);
  Bytes expected{0x0A};
  const Bytes atm = Golden("AtmTicket");
  expected.insert(expected.end(), atm.begin(), atm.end());
  EXPECT_EQ(ToHex(Sim::Printed()), ToHex(expected));
  EXPECT_EQ(Sim::LowAccesses(), 0u);
}

TEST_F(DevicesWindowTest, APrinterOutOfPaperFailsTheParallelTest) {
  Sim::Hold hold;
  ASSERT_TRUE(hold.ok());
  Sim::Reset();
  Sim::SetPaperEnd(true);
  TMainForm& f = Open();
  StandardErrorCapture err;
  auto boxes = Apply(f.rbtnLPT);
  ASSERT_EQ(MessageTexts(boxes), QStringList{kTestFailed});
  ExpectReasonShownAndLogged(boxes[0], err.Text());
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
}

TEST_F(DevicesWindowTest, ClosingWithTheParallelLinkUnloadsThePortLibrary) {
  TMainForm& f = Open();
  f.show();
  ASSERT_TRUE(Apply(f.rbtnLPT).empty());
  ASSERT_TRUE(Sim::Loaded());
  f.close();
  EXPECT_FALSE(Sim::Loaded());
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
}

}  // namespace
}  // namespace tillvane::testing
