// The window in English: the port page and the operator's messages, and every page's
// texts within their places at the window's fixed size, in both languages.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include "link/link_state.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

class EnglishWindowTest : public WindowTest {
 protected:
  ScopedLanguage english_{Language::English};
};

TEST_F(EnglishWindowTest, PortPageSpeaksEnglish) {
  TMainForm& f = Open();
  EXPECT_EQ(f.sbtnPortOption->text(), QStringLiteral("Port Settings"));
  EXPECT_EQ(f.sbtnExit->text(), QStringLiteral("Exit"));
  Click(f.sbtnPortOption);
  ASSERT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);
  EXPECT_EQ(f.Label16->text(), QStringLiteral("Printer model:"));
  EXPECT_EQ(f.rbtnCOM->text(), QStringLiteral("Serial"));
  EXPECT_EQ(f.rbtnLPT->text(), QStringLiteral("Parallel"));
  EXPECT_EQ(f.rbtnUsb->text(), QStringLiteral("USB"));
  EXPECT_EQ(f.rbtnDriver->text(), QStringLiteral("Printer driver"));
  EXPECT_EQ(f.rbtnVirtual->text(), QStringLiteral("Virtual printer"));
  EXPECT_EQ(f.gbCOM->title(), QStringLiteral("Serial settings"));
  EXPECT_EQ(f.gbLPT->title(), QStringLiteral("Parallel port"));
  EXPECT_EQ(f.sbtnApply->text(), QStringLiteral("OK"));
  EXPECT_EQ(f.sbtnCancel->text(), QStringLiteral("Cancel"));
  auto label = [&](const char* name) {
    auto* l = f.tbsPortOption->findChild<QLabel*>(QString::fromLatin1(name));
    return l != nullptr ? l->text() : QStringLiteral("(none)");
  };
  EXPECT_EQ(label("Label1"), QStringLiteral("Baud rate"));
  EXPECT_EQ(label("Label7"), QStringLiteral("Parity"));
  EXPECT_EQ(label("Label4"), QStringLiteral("Flow control"));
  // The settings are the printer's values and the caption is the file's: neither
  // changes with the language.
  EXPECT_EQ(f.cboVerify->itemText(1), QStringLiteral("Odd"));
  EXPECT_EQ(f.cboFlowControl->currentText(), QStringLiteral("DTR/DSR"));
  EXPECT_EQ(f.cboCom->currentText(), QStringLiteral("COM1"));
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Shopfloor V2.41 \u2014 ") + IniPath());
  EXPECT_EQ(f.cboPrinterModel->itemText(0), QStringLiteral("TM-80"));
}

TEST_F(EnglishWindowTest, PortFailuresAreToldInEnglish) {
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  f.cboCom->setCurrentText(QStringLiteral("COM5"));
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
  EXPECT_EQ(
      boxes[0].text,
      QStringLiteral("Serial port open failed! Check that the printer is connected correctly!"));
  EXPECT_EQ(boxes[0].button_texts, QStringList{QStringLiteral("OK")});
  // The system's reason stays as the system gave it.
  EXPECT_TRUE(boxes[0].detail.contains(QStringLiteral("com5"))) << boxes[0].detail.toStdString();
  EXPECT_EQ(f.PageControl1->currentWidget(), f.tbsPortOption);

  Click(f.rbtnLPT);
  f.cboLPT->setCurrentIndex(2);
  boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_EQ(MessageTexts(boxes),
            QStringList{QStringLiteral(
                "Parallel port open failed! Check that the printer is connected correctly!")});
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
}

TEST_F(EnglishWindowTest, ASendFailureIsToldInEnglish) {
  TMainForm& f = Open();
  auto rec = OpenRecordingLink(LinkKind::Serial);
  rec->accept = [](size_t) { return false; };
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnSample); });
  EXPECT_EQ(MessageTexts(boxes),
            QStringList{QStringLiteral("Sending data failed!\nPlease check whether the printer is "
                                       "connected to the specified port correctly")});
}

TEST_F(WindowTest, ChineseMessageBoxesAnswerInChinese) {
  ScopedLanguage chinese(Language::Chinese);
  TMainForm& f = Open();
  Click(f.sbtnPortOption);
  f.cboCom->setCurrentText(QStringLiteral("COM5"));
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("串口打开失败！请检查打印机是否正确连接！"));
  // Qt's own button from Qt's Chinese catalogue.
  EXPECT_EQ(boxes[0].button_texts, QStringList{QStringLiteral("确定")});
}

// Every caption of a page is shown whole inside its control, and no caption runs into
// another control beside it.
void ExpectTextsFit(QWidget* page, const char* language) {
  const auto widgets = page->findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    const std::string where = std::string(language) + " " + w->objectName().toStdString();
    QString text;
    int needed = 0;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      text = b->text();
      needed = b->sizeHint().width();
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      text = g->title();
      // The title, with room for the frame's corner either side.
      needed = g->fontMetrics().horizontalAdvance(text) + 16;
    } else if (auto* l = qobject_cast<QLabel*>(w); l != nullptr && l->pixmap().isNull()) {
      text = l->text();
      needed = l->sizeHint().width();
    }
    if (text.isEmpty()) continue;
    EXPECT_LE(needed, w->width()) << where << ": \"" << text.toStdString() << "\" is cut off";
    EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
        << where << " reaches outside its group";
    // A caption beside another control of its group keeps clear of it.
    for (QWidget* other : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == w || other->isHidden()) continue;
      const bool control = qobject_cast<QAbstractButton*>(other) != nullptr ||
                           qobject_cast<QComboBox*>(other) != nullptr ||
                           qobject_cast<QGroupBox*>(other) != nullptr ||
                           (qobject_cast<QLabel*>(other) != nullptr &&
                            !qobject_cast<QLabel*>(other)->text().isEmpty());
      if (!control) continue;
      EXPECT_FALSE(w->geometry().intersects(other->geometry()))
          << where << " overlaps " << other->objectName().toStdString();
    }
  }
}

TEST_F(WindowTest, EveryCaptionFitsItsPlaceInBothLanguages) {
  for (Language language : {Language::Chinese, Language::English}) {
    ScopedLanguage scoped(language);
    const char* name = language == Language::English ? "English" : "Chinese";
    TMainForm& f = Open();
    for (QWidget* page : {f.tbsMain, f.tbsPortOption, f.tbsDemo, f.tbsDownloadLogo})
      ExpectTextsFit(page, name);
    form_.reset();
  }
}

}  // namespace
}  // namespace tillvane::testing
