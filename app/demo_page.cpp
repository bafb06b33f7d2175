// The demo page: the seven demo receipts, the command file, the repeated demo, printing
// to file and the cutter choice.
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <array>

#include "app/form_kit.h"
#include "app/main_form.h"
#include "session/starters.h"
#include "session/window_session.h"

namespace tillvane {

using namespace form;

namespace {

// The demo buttons and the receipts they print.
struct DemoButton {
  QPushButton* TMainForm::*button;
  DemoReceipt receipt;
};

constexpr std::array<DemoButton, 7> kDemoButtons = {{
    {&TMainForm::sbtnSample, DemoReceipt::Sample},
    {&TMainForm::sbtnLogoBar, DemoReceipt::LogoBar},
    {&TMainForm::sbtnTwoPart, DemoReceipt::TwoPart},
    {&TMainForm::sbtnCleanReceipt, DemoReceipt::CleanReceipt},
    {&TMainForm::sbtnATM, DemoReceipt::Atm},
    {&TMainForm::sbtnAccount, DemoReceipt::Account},
    {&TMainForm::sbtnWideAcct, DemoReceipt::WideAccount},
}};

// The cutter radio buttons and the choice each stands for.
struct CutterButton {
  QRadioButton* TMainForm::*radio;
  Cutter cutter;
};

constexpr std::array<CutterButton, 3> kCutterButtons = {{
    {&TMainForm::rbtnFull, Cutter::Full},
    {&TMainForm::rbtnPart, Cutter::Partial},
    {&TMainForm::rbtnNone, Cutter::None},
}};

// The command-file dialog's filter as pairs of the text shown and its pattern.
constexpr const char* kCommandFileFilter = "log files(*.bmp)|*.bmp|dat files(*.dat)|*.dat";

// A filter of text|pattern pairs in the form Qt's file dialog takes: one entry per
// pair, the text as it stands when it already ends with its pattern in parentheses,
// else the text followed by " (pattern)".
QStringList DialogNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& text = parts[i];
    const QString& pattern = parts[i + 1];
    const QString tail = QLatin1Char('(') + pattern + QLatin1Char(')');
    out << (text.endsWith(tail) ? text : text + QLatin1Char(' ') + tail);
  }
  return out;
}

}  // namespace

void TMainForm::BuildDemoPage() {
  tbsDemo = Named(new QWidget, "tbsDemo");
  PageControl1->addWidget(tbsDemo);
  auto* panel = MakePanel(tbsDemo, "Panel4", QFrame::Raised, QRect(8, 8, 669, 437));

  auto button = [&](QWidget* parent, const char* name, const QString& caption, int row) {
    return MakeButton(parent, name, caption, kNavy, 13, QRect(16, 28 + row * 52, 153, 40));
  };
  GroupBox1 = MakeGroup(panel, "GroupBox1", tr("零售收据"), kPurple, QRect(16, 40, 185, 232));
  sbtnSample = button(GroupBox1, "sbtnSample", tr("样品打印"), 0);
  sbtnLogoBar = button(GroupBox1, "sbtnLogoBar", tr("位图条码"), 1);
  sbtnTwoPart = button(GroupBox1, "sbtnTwoPart", tr("分类收据"), 2);
  sbtnCleanReceipt = button(GroupBox1, "sbtnCleanReceipt", tr("明细收据"), 3);

  GroupBox5 = MakeGroup(panel, "GroupBox5", tr("银行收据"), kPurple, QRect(218, 40, 185, 180));
  sbtnATM = button(GroupBox5, "sbtnATM", tr("ATM 收据"), 0);
  sbtnAccount = button(GroupBox5, "sbtnAccount", tr("帐户信息"), 1);
  sbtnWideAcct = button(GroupBox5, "sbtnWideAcct", tr("帐户信息（大字体）"), 2);

  GroupBox3 = MakeGroup(panel, "GroupBox3", QString(), kPurple, QRect(218, 228, 185, 76));
  sbtnDownloadFile = MakeButton(GroupBox3, "sbtnDownloadFile", tr("下载文件打印"), kNavy, 13,
                                QRect(16, 20, 153, 40));

  chkPrintToFile = Named(new QCheckBox(tr("打印到文件"), panel), "chkPrintToFile");
  chkPrintToFile->setFont(BoldFont(13));
  SetTextColour(chkPrintToFile, kPurple);
  chkPrintToFile->setGeometry(424, 12, 200, 22);
  chkPrintToFile->setChecked(false);

  GroupBox2 = MakeGroup(panel, "GroupBox2", tr("自动演示"), kPurple, QRect(420, 40, 230, 128));
  Label12 = MakeLabel(GroupBox2, "Label12", tr("打印份数："), kNavy, 13, 16, 32);
  edPieces = Named(new QSpinBox(GroupBox2), "edPieces");
  edPieces->setRange(1, 100);
  edPieces->setSingleStep(1);
  edPieces->setValue(1);
  edPieces->setWrapping(false);
  edPieces->setFont(BoldFont(13));
  edPieces->setGeometry(104, 28, 80, 24);
  sbtnStart = MakeButton(GroupBox2, "sbtnStart", tr("开始打印"), kNavy, 13, QRect(38, 72, 153, 40));

  GroupBox4 = MakeGroup(panel, "GroupBox4", tr("切刀模式"), kPurple, QRect(420, 176, 230, 128));
  rbtnFull = MakeRadio(GroupBox4, "rbtnFull", tr("全    切"), kNavy, QRect(40, 28, 150, 22));
  rbtnPart = MakeRadio(GroupBox4, "rbtnPart", tr("半    切"), kNavy, QRect(40, 60, 150, 22));
  rbtnNone = MakeRadio(GroupBox4, "rbtnNone", tr("无 切 刀"), kNavy, QRect(40, 92, 150, 22));
  rbtnFull->setChecked(true);

  sbtnReturn = MakeButton(panel, "sbtnReturn", tr("返回"), kPurple, 13, QRect(497, 378, 153, 40));
}

void TMainForm::ConnectDemoPage() {
  for (const DemoButton& b : kDemoButtons) {
    const DemoReceipt receipt = b.receipt;
    connect(this->*b.button, &QPushButton::clicked, this, [this, receipt] {
      RunAsSender([&] {
        PrintDemoReceipt(receipt, chkPrintToFile->isChecked(), static_cast<int32_t>(demo_.cutter));
      });
    });
  }
  for (const CutterButton& b : kCutterButtons) {
    const Cutter cutter = b.cutter;
    connect(this->*b.radio, &QRadioButton::clicked, this,
            [this, cutter] { demo_.cutter = cutter; });
  }
  connect(sbtnReturn, &QPushButton::clicked, this, &TMainForm::sbtnReturnClick);
  connect(sbtnStart, &QPushButton::clicked, this, &TMainForm::sbtnStartClick);
  connect(sbtnDownloadFile, &QPushButton::clicked, this, &TMainForm::sbtnDownloadFileClick);
}

// The repeated demo and the command file run as background jobs. Their starters
// take the sender gate themselves and refuse, changing nothing, while another sender
// holds it.
void TMainForm::sbtnStartClick() {
  jobs::StartRepeatedDemo(dispatcher_, chkPrintToFile->isChecked(), edPieces->text().toStdString(),
                          static_cast<int32_t>(demo_.cutter));
}

void TMainForm::sbtnDownloadFileClick() {
  if (!jobs::BeginCommandFileChoice()) return;
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("OpenDialog1"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The chosen name need not exist: a file that cannot be opened is the job's report.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  const QStringList filters = DialogNameFilters(QString::fromLatin1(kCommandFileFilter));
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters[1]);
  dialog.setDirectory(QDir::current().filePath(QStringLiteral("Temp")));
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return;
  jobs::StartCommandFileStream(dispatcher_, *this, chosen.first().toStdString(), program_folder_);
}

}  // namespace tillvane
