#include "app/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <ctime>
#include <exception>
#include <filesystem>

#include "app/config_texts.h"
#include "app/gbk_text.h"
#include "app/index_picture.h"
#include "app/language.h"
#include "app/virtual_printer_window.h"
#include "base/message_sink.h"
#include "commands/posfun.h"
#include "commands/printer_status.h"
#include "commands/status_query.h"
#include "config/current_model.h"
#include "config/version.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "link/network_link.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "link/print_queue.h"
#include "link/serial_port.h"
#include "link/usb_link.h"
#include "link/virtual_link.h"
#include "session/job_thread.h"
#include "session/jobs.h"
#include "session/open_link.h"
#include "session/printer_actions.h"
#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane {
namespace {

const QColor kPurple(0x80, 0x00, 0x80);
const QColor kNavy(0x00, 0x00, 0x80);

constexpr int kClockPeriodMs = 30000;

// The busy pointer while the window's thread is held by a send, so that a slow printer
// does not look like a hung program.
class BusyCursor {
 public:
  BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The window system hears of it now, before the thread blocks; clicks meanwhile
    // stay queued.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The ordinary pointer over a message box, also while a busy pointer is shown.
class ArrowCursor {
 public:
  ArrowCursor() : pushed_(QApplication::overrideCursor() != nullptr) {
    if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowCursor() {
    if (pushed_) QApplication::restoreOverrideCursor();
  }
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;

 private:
  bool pushed_;
};

// Every printing action of the window runs through here, on the window's thread, with
// the busy pointer. While another sender holds the gate (a background job, or an
// action that is still running), the click does nothing at all.
template <class Action>
void RunAsSender(Action&& action) {
  SendingScope gate;
  if (!gate.held()) return;
  BusyCursor busy;
  action();
}

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

QFont BaseFont() {
  QFont f;
  f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                 QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(13);
  return f;
}

QFont BoldFont(int pixels) {
  QFont f = BaseFont();
  f.setPixelSize(pixels);
  f.setBold(true);
  return f;
}

// Colours the text of a control for its usable states; a disabled control keeps the
// style's grey.
void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::WindowText, colour);
    p.setColor(group, QPalette::ButtonText, colour);
    p.setColor(group, QPalette::Text, colour);
  }
  w->setPalette(p);
}

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour,
                  int pixels, int x, int y) {
  auto* l = Named(new QLabel(text, parent), name);
  l->setFont(BoldFont(pixels));
  SetTextColour(l, colour);
  l->move(x, y);
  l->adjustSize();
  return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, int pixels, QRect geometry) {
  auto* b = Named(new QPushButton(caption, parent), name);
  b->setFlat(true);
  b->setCursor(Qt::PointingHandCursor);
  b->setFocusPolicy(Qt::TabFocus);
  b->setFont(BoldFont(pixels));
  b->setGeometry(geometry);
  // A flat button with a light frame, so that it reads as a button on the panels.
  b->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; border: 1px solid #b8ab98; border-radius: 3px;"
                     " background: #f7f3ec; }"
                     "QPushButton:hover { background: #ffe9c7; border-color: #e8700a; }"
                     "QPushButton:pressed { background: #ffd596; }"
                     "QPushButton:disabled { color: #a6a6a6; border-color: #d2cbc0; }")
          .arg(colour.name()));
  return b;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items, QRect geometry) {
  auto* c = Named(new QComboBox(parent), name);
  c->setEditable(false);
  c->addItems(items);
  c->setFont(BoldFont(13));
  SetTextColour(c, kNavy);
  c->setGeometry(geometry);
  return c;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, QRect geometry) {
  auto* r = Named(new QRadioButton(caption, parent), name);
  r->setFont(BoldFont(13));
  SetTextColour(r, colour);
  r->setGeometry(geometry);
  return r;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption,
                     const QColor& colour, QRect geometry) {
  auto* g = Named(new QGroupBox(caption, parent), name);
  g->setFont(BoldFont(13));
  SetTextColour(g, colour);
  g->setGeometry(geometry);
  return g;
}

QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shadow shadow, QRect geometry) {
  auto* p = Named(new QFrame(parent), name);
  p->setFrameStyle(QFrame::Panel | shadow);
  p->setLineWidth(1);
  p->setGeometry(geometry);
  return p;
}

// The file of that name in `folder`, matched without regard to case.
QString FindFileNoCase(const std::string& folder, const char* name) {
  return QString::fromStdString(jobs::FindFileNoCase(folder, name));
}

}  // namespace

TMainForm::TMainForm(const std::string& program_folder, QWidget* parent)
    : QWidget(parent),
      program_folder_(program_folder.empty() ? tillvane::ExecutableFolder() : program_folder) {
  previous_sink_ =
      SetMessageSink([this](std::string_view text) { ShowOperatorMessage(OperatorText(text)); });
  BuildWindow();
  ConnectHandlers();
  FormCreate();
}

TMainForm::~TMainForm() {
  if (!closed_) FormClose();
  SetMessageSink(std::move(previous_sink_));
}

// ---------------------------------------------------------------------------------
// Building the window.

void TMainForm::BuildWindow() {
  setObjectName(QStringLiteral("MainForm"));
  setFont(BaseFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(685, 548);
  setWindowIcon(QIcon(FindFileNoCase(program_folder_, "tillvane.png")));

  BuildHeader();
  PageControl1 = Named(new QStackedWidget(this), "PageControl1");
  PageControl1->setGeometry(0, 65, 685, 453);
  BuildIndexPage();
  BuildPortPage();
  BuildDemoPage();
  BuildLogoPage();
  BuildStatusBar();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void TMainForm::BuildHeader() {
  auto* header = Named(new QFrame(this), "Panel1");
  header->setFrameStyle(QFrame::Panel | QFrame::Raised);
  header->setGeometry(0, 0, 685, 65);
  header->setAutoFillBackground(true);
  Panel1 = header;
  Label8 = MakeLabel(header, "Label8", QStringLiteral("Tillvane"), kPurple, 33, 192, 16);
}

void TMainForm::BuildIndexPage() {
  tbsMain = Named(new QWidget, "tbsMain");
  PageControl1->addWidget(tbsMain);

  Panel3 = MakePanel(tbsMain, "Panel3", QFrame::Raised, QRect(8, 8, 669, 437));
  // Qt paints every widget into a back buffer, so the panel never flickers.
  Panel3->setAutoFillBackground(true);

  Bevel1 = MakePanel(Panel3, "Bevel1", QFrame::Sunken, QRect(56, 56, 241, 321));
  Image2 = Named(new QLabel(Panel3), "Image2");
  Image2->setGeometry(60, 60, 233, 313);
  Image2->setScaledContents(true);
  const QImage picture = LoadJpegPicture(FindFileNoCase(program_folder_, "index.jpg"));
  if (!picture.isNull()) Image2->setPixmap(QPixmap::fromImage(picture));

  Label15 =
      MakeLabel(Panel3, "Label15", QStringLiteral("Ver " TILLVANE_VERSION), kPurple, 13, 0, 0);
  Label15->move(Image2->geometry().right() - Label15->width() - 4,
                Image2->geometry().bottom() - Label15->height() - 2);
  Label15->raise();

  Panel2 = MakePanel(Panel3, "Panel2", QFrame::Sunken, QRect(380, 56, 209, 321));
  const int x = (209 - 153) / 2;
  auto button = [&](const char* name, const QString& caption, int row) {
    return MakeButton(Panel2, name, caption, kPurple, 16, QRect(x, 14 + row * 50, 153, 40));
  };
  sbtnPortOption = button("sbtnPortOption", tr("端口配置"), 0);
  sbtnDownloadLogo = button("sbtnDownloadLogo", tr("下载图片"), 1);
  sbtnDemo = button("sbtnDemo", tr("打印演示"), 2);
  sbtnClearError = button("sbtnClearError", tr("清除错误"), 3);
  sbtnPrinterStatus = button("sbtnPrinterStatus", tr("打印机状态"), 4);
  sbtnExit = button("sbtnExit", tr("退        出"), 5);
}

void TMainForm::BuildPortPage() {
  tbsPortOption = Named(new QWidget, "tbsPortOption");
  PageControl1->addWidget(tbsPortOption);
  Panel6 = MakePanel(tbsPortOption, "Panel6", QFrame::Raised, QRect(8, 8, 669, 437));

  Label16 = MakeLabel(Panel6, "Label16", tr("打印机类型："), kPurple, 13, 196, 17);
  cboPrinterModel = MakeList(Panel6, "cboPrinterModel", {}, QRect(296, 12, 180, 24));

  // The serial settings, then one row per further link kind, each its radio button
  // beside its settings, 44 pixels apart: five rows above the page's buttons.
  auto row_top = [](int row) { return 152 + 44 * (row - 1); };
  rbtnCOM = MakeRadio(Panel6, "rbtnCOM", tr("串口"), kPurple, QRect(30, 84, 126, 22));
  rbtnLPT = MakeRadio(Panel6, "rbtnLPT", tr("并口"), kPurple, QRect(30, row_top(1) + 10, 126, 22));
  rbtnUsb =
      MakeRadio(Panel6, "rbtnUsb", tr("USB接口"), kPurple, QRect(30, row_top(2) + 10, 126, 22));
  rbtnDriver = MakeRadio(Panel6, "rbtnDriver", tr("打印机驱动"), kPurple,
                         QRect(30, row_top(3) + 10, 126, 22));
  rbtnVirtual = MakeRadio(Panel6, "rbtnVirtual", tr("虚拟打印机"), kPurple,
                          QRect(30, row_top(4) + 10, 126, 22));
  rbtnNetwork = MakeRadio(Panel6, "rbtnNetwork", tr("网络打印机"), kPurple,
                          QRect(30, row_top(5) + 10, 126, 22));

  gbCOM = MakeGroup(Panel6, "gbCOM", tr("串口配置"), kNavy, QRect(160, 42, 470, 106));
  auto setting = [&](const char* label_name, const QString& caption, const char* list_name,
                     const QStringList& items, int column, int row) {
    const int lx = column == 0 ? 18 : 246;
    const int y = 20 + row * 28;
    MakeLabel(gbCOM, label_name, caption, kNavy, 13, lx, y + 4);
    return MakeList(gbCOM, list_name, items, QRect(lx + 84, y, 116, 24));
  };
  cboCom = setting("Label6", tr("端口名称"), "cboCom",
                   {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}, 0, 0);
  cboDatabit = setting("Label2", tr("数据位数"), "cboDatabit", {"8"}, 0, 1);
  cboVerify = setting("Label7", tr("奇偶校验"), "cboVerify", {"None", "Odd", "Even"}, 0, 2);
  cboBaudrate =
      setting("Label1", tr("波特率"), "cboBaudrate",
              {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}, 1, 0);
  cboStopbit = setting("Label3", tr("停止位"), "cboStopbit", {"1", "2"}, 1, 1);
  cboFlowControl =
      setting("Label4", tr("流量控制"), "cboFlowControl", {"Xon/Xoff", "DTR/DSR"}, 1, 2);

  auto row_group = [&](const char* name, const QString& caption, int row) {
    return MakeGroup(Panel6, name, caption, kNavy, QRect(160, row_top(row), 470, 40));
  };
  gbLPT = row_group("gbLPT", tr("并口选择"), 1);
  MakeLabel(gbLPT, "Label9", tr("端口名称"), kNavy, 13, 18, 18);
  cboLPT = MakeList(gbLPT, "cboLPT", {"LPT1", "LPT2", "LPT3", "LPT4"}, QRect(102, 12, 116, 24));

  gbUsb = row_group("gbUsb", tr("USB口选择"), 2);
  MakeLabel(gbUsb, "Label14", tr("USB接口名称"), kNavy, 13, 18, 18);
  cboUsb = MakeList(gbUsb, "cboUsb", {}, QRect(120, 12, 128, 24));
  gbUsb->setEnabled(false);

  gbDriver = row_group("gbDriver", tr("驱动选择"), 3);
  MakeLabel(gbDriver, "Label18", tr("驱动名称"), kNavy, 13, 18, 18);
  cboPrinters = MakeList(gbDriver, "cboPrinters", {}, QRect(102, 12, 349, 24));

  // The virtual printer has nothing to choose: its row only says where the paper
  // comes out.
  MakeLabel(Panel6, "LabelVirtual", tr("打印结果显示在预览窗口中"), kNavy, 13, 178,
            row_top(4) + 13);

  // The network printer's row is always usable: its address is typed, never listed.
  gbNetwork = row_group("gbNetwork", QString(), 5);
  MakeLabel(gbNetwork, "Label21", tr("地址"), kNavy, 13, 18, 18);
  edAddress = Named(new QLineEdit(gbNetwork), "edAddress");
  edAddress->setFont(BoldFont(13));
  SetTextColour(edAddress, kNavy);
  edAddress->setGeometry(102, 12, 349, 24);
  edAddress->setPlaceholderText(QStringLiteral("192.168.1.50:9100"));

  sbtnApply =
      MakeButton(Panel6, "sbtnApply", tr("确         定"), kPurple, 13, QRect(258, 384, 153, 40));
  sbtnCancel =
      MakeButton(Panel6, "sbtnCancel", tr("取         消"), kPurple, 13, QRect(446, 384, 153, 40));
}

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

void TMainForm::BuildLogoPage() {
  tbsDownloadLogo = Named(new QWidget, "tbsDownloadLogo");
  PageControl1->addWidget(tbsDownloadLogo);
  auto* panel = MakePanel(tbsDownloadLogo, "Panel5", QFrame::Raised, QRect(8, 8, 669, 437));

  GroupBoxLogo = MakeGroup(panel, "GroupBox6", QString(), kNavy, QRect(40, 30, 250, 330));
  Label13 = MakeLabel(GroupBoxLogo, "Label13", tr("下载到RAM"), kPurple, 13, 24, 24);
  auto check = [&](const char* name, const QString& caption, int y) {
    auto* c = Named(new QCheckBox(caption, GroupBoxLogo), name);
    c->setFont(BoldFont(13));
    SetTextColour(c, kNavy);
    c->setGeometry(48, y, 160, 22);
    return c;
  };
  chkHorse = check("chkHorse", tr("马"), 56);
  chkLion = check("chkLion", tr("狮子"), 90);
  chkMap = check("chkMap", tr("地图"), 124);
  Label17 = MakeLabel(GroupBoxLogo, "Label17", tr("下载到FLASH"), kPurple, 13, 24, 190);
  chkDragon = check("chkDragon", tr("龙"), 222);

  PanelPreview = MakePanel(panel, "Panel7", QFrame::Sunken, QRect(330, 30, 260, 330));
  Image1 = Named(new QLabel(PanelPreview), "Image1");
  Image1->setScaledContents(true);
  Image1->setGeometry(76, 72, 105, 105);

  sbtnApplyDownload = MakeButton(panel, "sbtnApplyDownload", tr("确          定"), kPurple, 13,
                                 QRect(258, 378, 153, 40));
  sbtnCancelDownload = MakeButton(panel, "sbtnCancelDownload", tr("取          消"), kPurple, 13,
                                  QRect(446, 378, 153, 40));
}

void TMainForm::BuildStatusBar() {
  StatusBarProcess = Named(new QFrame(this), "StatusBarProcess");
  StatusBarProcess->setGeometry(0, 518, 685, 30);
  int left = 0;
  int n = 0;
  for (int w : {160, 160, 180, 80}) {
    auto* p = new QFrame(StatusBarProcess);
    p->setObjectName(QStringLiteral("StatusPanel%1").arg(n++));
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setGeometry(left, 2, w - 2, 28);
    left += w;
  }
  ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();
  Label20 = Named(new QLabel(this), "Label20");
  Label20->setFont(BoldFont(16));
  Label20->hide();
  Label19 = Named(new QLabel(this), "Label19");
  Label19->setFont(BoldFont(16));
  SetTextColour(Label19, kNavy);
  Label19->hide();
  LabelPrinterState = Named(new QLabel(this), "LabelPrinterState");
  LabelPrinterState->setFont(BoldFont(16));
  SetTextColour(LabelPrinterState, kNavy);
  LabelPrinterState->hide();
  Timer1 = Named(new QTimer(this), "Timer1");
  Timer1->setInterval(kClockPeriodMs);
}

void TMainForm::ConnectHandlers() {
  connect(sbtnPortOption, &QPushButton::clicked, this, &TMainForm::sbtnPortOptionClick);
  connect(sbtnDemo, &QPushButton::clicked, this, &TMainForm::sbtnDemoClick);
  connect(sbtnDownloadLogo, &QPushButton::clicked, this, &TMainForm::sbtnDownloadLogoClick);
  connect(sbtnClearError, &QPushButton::clicked, this, &TMainForm::sbtnClearErrorClick);
  connect(sbtnExit, &QPushButton::clicked, this, &QWidget::close);

  // Only the operator's pick raises the model change; the program's own selection
  // does not.
  connect(cboPrinterModel, &QComboBox::activated, this, &TMainForm::cboPrinterModelChange);
  connect(rbtnCOM, &QRadioButton::clicked, this, &TMainForm::rbtnCOMClick);
  connect(rbtnLPT, &QRadioButton::clicked, this, &TMainForm::rbtnLPTClick);
  connect(rbtnUsb, &QRadioButton::clicked, this, &TMainForm::rbtnUsbClick);
  connect(rbtnDriver, &QRadioButton::clicked, this, &TMainForm::rbtnDriverClick);
  connect(rbtnNetwork, &QRadioButton::clicked, this, &TMainForm::rbtnNetworkClick);
  connect(sbtnPrinterStatus, &QPushButton::clicked, this, &TMainForm::sbtnPrinterStatusClick);
  connect(rbtnVirtual, &QRadioButton::clicked, this, &TMainForm::rbtnVirtualClick);
  connect(sbtnApply, &QPushButton::clicked, this, &TMainForm::sbtnApplyClick);
  connect(sbtnCancel, &QPushButton::clicked, this, &TMainForm::sbtnCancelClick);

  connect(sbtnSample, &QPushButton::clicked, this,
          [this] { DemoAction(SampleTicket, SampleTicket56); });
  connect(sbtnLogoBar, &QPushButton::clicked, this,
          [this] { DemoAction(LogoTicket, LogoTicket56, FontBarcodeTicket, FontBarcodeTicket56); });
  connect(sbtnTwoPart, &QPushButton::clicked, this,
          [this] { DemoAction(TwoPartTicket, TwoPartTicket56); });
  connect(sbtnCleanReceipt, &QPushButton::clicked, this,
          [this] { DemoAction(CleanReceiptTicket, CleanReceiptTicket56); });
  connect(sbtnATM, &QPushButton::clicked, this, [this] { DemoAction(AtmTicket, AtmTicket56); });
  connect(sbtnAccount, &QPushButton::clicked, this,
          [this] { DemoAction(AccountTicket, AccountTicket56); });
  connect(sbtnWideAcct, &QPushButton::clicked, this,
          [this] { DemoAction(WideAccountTicket, WideAccountTicket56); });
  connect(rbtnFull, &QRadioButton::clicked, this, [this] { cutter_mode_ = 0; });
  connect(rbtnPart, &QRadioButton::clicked, this, [this] { cutter_mode_ = 1; });
  connect(rbtnNone, &QRadioButton::clicked, this, [this] { cutter_mode_ = 2; });
  connect(sbtnReturn, &QPushButton::clicked, this, &TMainForm::sbtnReturnClick);

  // The preview follows each box's state however it changes: the mouse, the keyboard,
  // assistive technology.
  connect(chkHorse, &QCheckBox::toggled, this, [this] { ShowLogoPreview("Horse.bmp", 100, 65); });
  connect(chkLion, &QCheckBox::toggled, this, [this] { ShowLogoPreview("lion.bmp", 123, 140); });
  connect(chkDragon, &QCheckBox::toggled, this,
          [this] { ShowLogoPreview("dragon.bmp", 140, 210); });
  connect(chkMap, &QCheckBox::toggled, this, [this] { ShowLogoPreview("map.bmp", 185, 121); });
  connect(sbtnCancelDownload, &QPushButton::clicked, this, &TMainForm::sbtnCancelDownloadClick);
  connect(sbtnApplyDownload, &QPushButton::clicked, this, &TMainForm::sbtnApplyDownloadClick);
  connect(sbtnStart, &QPushButton::clicked, this, &TMainForm::sbtnStartClick);
  connect(sbtnDownloadFile, &QPushButton::clicked, this, &TMainForm::sbtnDownloadFileClick);
  connect(PageControl1, &QStackedWidget::currentChanged, this, [this](int index) {
    if (PageControl1->widget(index) == tbsDownloadLogo) tbsDownloadLogoShow();
  });

  connect(Timer1, &QTimer::timeout, this, &TMainForm::UpdateClock);
}

// ---------------------------------------------------------------------------------
// Start-up and close.

void TMainForm::FormCreate() {
  LoadModels();

  ProgressBar1->setGeometry(163, 518 + 4, 155, 24);
  Label20->move(330, 518 + 5);
  Label19->move(510, 518 + 5);
  LabelPrinterState->move(10, 518 + 5);
  for (QWidget* w : {static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(Label20),
                     static_cast<QWidget*>(Label19), static_cast<QWidget*>(LabelPrinterState)}) {
    w->show();
    w->raise();
  }

  UpdateClock();
  PageControl1->setCurrentWidget(tbsMain);

  // No link, no serial port, the normal busy time-out, printing to file off.
  ResetLinkState();

  usb_library_loaded_ = LoadUsbLibrary();
  FillUsbList();

  std::vector<std::string> queues;
  ListPrintQueues(config_.BaseDriverName, queues);
  cboPrinters->clear();
  for (const std::string& q : queues) cboPrinters->addItem(QString::fromStdString(q));
  const bool any_queue = !queues.empty();
  cboPrinters->setCurrentIndex(any_queue ? 0 : -1);
  rbtnDriver->setEnabled(any_queue);
  cboPrinters->setEnabled(any_queue);

  // The print-queue document description ("My Document", no output file, "RAW") is
  // fixed in the print-queue link.

  ResetPortPage();
  edAddress->setText(QString::fromStdString(config_.Network.Address));

  cutter_mode_ = 0;
  rbtnFull->setChecked(true);

  SetIndexPrintingButtons(false);
  sbtnPortOption->setEnabled(true);
  sbtnExit->setEnabled(true);
  Timer1->start();
}

void TMainForm::LoadModels() {
  // The user's own copy first, then the program folder's; a file that is there but
  // cannot be read is named to the operator, and the next one is read.
  config_file_ = ChooseConfigFile(ConfigCandidates(program_folder_));
  config_ = config_file_.path.empty() ? tillvane::LoadModels(IniFile())
                                      : tillvane::LoadModels(config_file_.path);
  cboPrinterModel->clear();
  for (int32_t i = 0; i < config_.ModelCount; ++i)
    cboPrinterModel->addItem(FromGbk(config_.ModelTable[static_cast<size_t>(i)].Name));
  // The caption as the file says, and which file that was.
  setWindowTitle(FromGbk(config_.Caption) + QStringLiteral(" \u2014 ") +
                 ConfigFileLabel(config_file_));
  cboPrinterModel->setCurrentIndex(config_.SelectedIndex);
  const QString problem = ConfigProblemMessage(config_file_);
  if (!problem.isEmpty()) ShowOperatorMessage(problem);
}

void TMainForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  // Every background job ends at its next send boundary and makes its end call before
  // the links go away.
  jobs::StopJobsAndWait(dispatcher_);
  // A status check still waiting for an answer ends within its 500 ms.
  if (status_check_ != nullptr) status_check_->Join();
  if (virtual_preview_ != nullptr) virtual_preview_->close();
  CloseLink();
  Timer1->stop();
  UnloadUsbLibrary();
  usb_library_loaded_ = false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

// ---------------------------------------------------------------------------------
// Clock.

QString TMainForm::ClockText(const std::tm& local) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  return QString::fromLatin1(text);
}

void TMainForm::UpdateClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Label19->setText(ClockText(local));
  Label19->adjustSize();
}

// ---------------------------------------------------------------------------------
// Messages.

void TMainForm::ShowOperatorMessage(const QString& text, const QString& detail) {
  auto show_box = [this, text, detail] {
    ArrowCursor arrow;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tillvane"), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("OperatorMessage"));
    box.setTextFormat(Qt::PlainText);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
  };
  dispatcher_.Run(show_box);
}

// ---------------------------------------------------------------------------------
// Navigation.

void TMainForm::SetIndexPrintingButtons(bool enabled) {
  sbtnDownloadLogo->setEnabled(enabled);
  sbtnDemo->setEnabled(enabled);
  sbtnClearError->setEnabled(enabled);
  sbtnExit->setEnabled(enabled);
  // Only a link whose printer can answer has a status to ask for.
  sbtnPrinterStatus->setEnabled(enabled && LinkCanAnswer());
}

void TMainForm::sbtnPortOptionClick() {
  PageControl1->setCurrentWidget(tbsPortOption);
}
void TMainForm::sbtnDemoClick() {
  PageControl1->setCurrentWidget(tbsDemo);
}
void TMainForm::sbtnReturnClick() {
  PageControl1->setCurrentWidget(tbsMain);
}
void TMainForm::sbtnCancelClick() {
  PageControl1->setCurrentWidget(tbsMain);
}
void TMainForm::sbtnCancelDownloadClick() {
  PageControl1->setCurrentWidget(tbsMain);
}

void TMainForm::sbtnDownloadLogoClick() {
  jobs::PrintToFileToRestore() = Links().PrintToFile.load();
  PageControl1->setCurrentWidget(tbsDownloadLogo);
}

// Asks the printer for its four status bytes. The requests wait on a thread of their
// own while a local event loop keeps the window painting; the sender gate holds every
// other printing action meanwhile.
void TMainForm::sbtnPrinterStatusClick() {
  SendingScope gate;
  if (!gate.held()) return;
  StatusCheck check;
  QEventLoop loop;
  sbtnPrinterStatus->setEnabled(false);
  status_check_ = &check;
  check.Start(
      [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
  loop.exec();
  check.Join();
  status_check_ = nullptr;
  if (closed_) return;  // the window closed meanwhile: nothing more to show
  sbtnPrinterStatus->setEnabled(LinkCanAnswer());
  ShowOperatorMessage(tr("打印机状态") + QStringLiteral("\n\n") +
                      QString::fromStdString(StatusReport(check.answers())));
}

void TMainForm::sbtnClearErrorClick() {
  RunAsSender([] { ClearPrinterError(); });
}

// ---------------------------------------------------------------------------------
// Port page.

void TMainForm::SetPortListsEnabled(bool com, bool lpt, bool usb, bool driver) {
  for (QComboBox* c : {cboCom, cboBaudrate, cboVerify, cboDatabit, cboStopbit, cboFlowControl})
    c->setEnabled(com);
  cboLPT->setEnabled(lpt);
  cboUsb->setEnabled(usb);
  cboPrinters->setEnabled(driver);
}

// The groups and lists of the row chosen are usable, the others' are greyed.
void TMainForm::ChooseRow(bool com, bool lpt, bool usb, bool driver) {
  SetPortListsEnabled(com, lpt, usb, driver);
  gbCOM->setEnabled(com);
  gbLPT->setEnabled(lpt);
  gbUsb->setEnabled(usb);
  gbDriver->setEnabled(driver);
}

void TMainForm::ResetPortPage() {
  cboCom->setCurrentText(QStringLiteral("COM1"));
  cboVerify->setCurrentText(QStringLiteral("None"));
  cboDatabit->setCurrentText(QStringLiteral("8"));
  cboStopbit->setCurrentText(QStringLiteral("1"));
  cboFlowControl->setCurrentText(QStringLiteral("DTR/DSR"));
  cboBaudrate->setCurrentText(QStringLiteral("9600"));
  cboLPT->setCurrentText(QStringLiteral("LPT1"));
  rbtnCOM->setChecked(true);
  SetPortListsEnabled(true, false, false, false);
}

// Rebuilds the USB device list and offers the USB link when a device was found and
// the model is not "Vorn-101".
void TMainForm::FillUsbList() {
  std::vector<std::string> labels;
  if (usb_library_loaded_) ListUsbDevices(labels);
  cboUsb->clear();
  for (const std::string& l : labels) cboUsb->addItem(QString::fromStdString(l));
  const bool offered =
      usb_library_loaded_ && !labels.empty() && cboPrinterModel->currentText() != "Vorn-101";
  cboUsb->setCurrentIndex(offered ? 0 : -1);
  rbtnUsb->setEnabled(offered);
  cboUsb->setEnabled(offered);
}

void TMainForm::cboPrinterModelChange() {
  SelectModel(config_, cboPrinterModel->currentIndex());
  usb_library_loaded_ = LoadUsbLibrary();
  if (!usb_library_loaded_) return;
  FillUsbList();
}

void TMainForm::rbtnCOMClick() {
  ChooseRow(true, false, false, false);
}

void TMainForm::rbtnLPTClick() {
  ChooseRow(false, true, false, false);
}

void TMainForm::rbtnUsbClick() {
  ChooseRow(false, false, true, false);
}

void TMainForm::rbtnDriverClick() {
  ChooseRow(false, false, false, true);
}

void TMainForm::rbtnVirtualClick() {
  ChooseRow(false, false, false, false);
}

// The network row stays usable whichever kind is chosen; choosing it greys the others.
void TMainForm::rbtnNetworkClick() {
  ChooseRow(false, false, false, false);
}

void TMainForm::sbtnApplyClick() {
  RunAsSender([this] { ApplyLink(); });
}

// The port page as plain values: the link kind of the radio button chosen and the
// settings of every kind.
LinkChoice TMainForm::ChosenLink() const {
  LinkChoice c;
  // The radio buttons in the order the port page has always tested them.
  if (rbtnCOM->isChecked()) {
    c.kind = LinkKind::Serial;
  } else if (rbtnLPT->isChecked()) {
    c.kind = LinkKind::Parallel;
  } else if (rbtnDriver->isChecked()) {
    c.kind = LinkKind::PrintQueue;
  } else if (rbtnUsb->isChecked()) {
    c.kind = LinkKind::Usb;
  } else if (rbtnNetwork->isChecked()) {
    c.kind = LinkKind::Network;
  } else if (rbtnVirtual->isChecked()) {
    c.kind = LinkKind::Virtual;
  }
  c.com_port = cboCom->currentText().toStdString();
  c.serial.baud_rate = static_cast<BaudRate>(cboBaudrate->currentText().toInt());
  c.serial.data_bits = static_cast<DataBits>(cboDatabit->currentText().toInt());
  c.serial.stop_bits = cboStopbit->currentIndex() == 0 ? StopBits::One : StopBits::Two;
  c.serial.parity = static_cast<Parity>(cboVerify->currentIndex());
  c.serial.flow = static_cast<FlowControl>(cboFlowControl->currentIndex());
  c.lpt_index = cboLPT->currentIndex();
  c.usb_device = cboUsb->currentIndex();
  c.queue_name = cboPrinters->currentText().toStdString();
  c.network_address = edAddress->text().trimmed().toStdString();
  c.network_timeouts.connect_ms = static_cast<uint32_t>(config_.Network.ConnectTimeout) * 1000;
  c.network_timeouts.write_ms = static_cast<uint32_t>(config_.Network.WriteTimeout) * 1000;
  c.model_name = cboPrinterModel->currentText().toStdString();
  return c;
}

// Opens the chosen link and proves it. Every failure ends here with the port page
// still shown and the index-page buttons as they were.
void TMainForm::ApplyLink() {
  const LinkResult result = OpenAndProve(ChosenLink());
  if (result.withdraw_cutter_choices) {
    rbtnFull->setEnabled(false);
    rbtnPart->setEnabled(false);
    rbtnNone->setEnabled(false);
  }
  // The paper as the passed communication test's answer tells it; nothing otherwise.
  LabelPrinterState->setText(
      result.status_answer ? OperatorText(PaperStateText(DecodePaperStatus(*result.status_answer)))
                           : QString());
  LabelPrinterState->adjustSize();
  if (result.message != nullptr) {
    ShowOperatorMessage(OperatorText(result.message), QString::fromStdString(result.reason));
  }
  if (!result.Completed()) {
    // The printing buttons stay as they were; a failed link has nothing to ask.
    sbtnPrinterStatus->setEnabled(sbtnDemo->isEnabled() && LinkCanAnswer());
    return;
  }
  SetIndexPrintingButtons(Links().Kind != LinkKind::None);
  PageControl1->setCurrentWidget(tbsMain);
  ShowVirtualPreview();
}

// The preview opens beside the window whenever the virtual printer's link is open
// and stays until it or the window is closed.
void TMainForm::ShowVirtualPreview() {
  if (!VirtualPrinterOfLink() || Links().Kind != LinkKind::Virtual) return;
  if (virtual_preview_ == nullptr) virtual_preview_ = new VirtualPrinterWindow(this);
  virtual_preview_->ShowBeside(this);
}

// ---------------------------------------------------------------------------------
// Demo page.

void TMainForm::DemoAction(Receipt wide, Receipt narrow, Receipt wide_second,
                           Receipt narrow_second) {
  RunAsSender([&] {
    Links().PrintToFile = chkPrintToFile->isChecked();
    if (!StartJobDocument()) return;
    const bool is_narrow = PaperWidth() == kNarrowPaperWidth;
    Receipt first = is_narrow ? narrow : wide;
    Receipt second = is_narrow ? narrow_second : wide_second;
    int32_t result = first(cutter_mode_);
    if (result == 0 && second != nullptr) result = second(cutter_mode_);
    if (result != 0) ShowMessage(kSendFailedMessage);
    // A document that failed on the print queue was ended by its failed write, which
    // closed the queue; one ended by an exception is ended here.
    EndJobDocument();
  });
}

// The repeated demo and the command file run as background jobs. Their starters
// take the sender gate themselves and refuse, changing nothing, while another sender
// holds it.
void TMainForm::sbtnStartClick() {
  jobs::StartRepeatedDemo(dispatcher_, chkPrintToFile->isChecked(), edPieces->text().toStdString(),
                          cutter_mode_);
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

void TMainForm::SetStatusText(const std::string& text, jobs::Rgb colour) {
  Label20->setText(OperatorText(text));
  SetTextColour(Label20, QColor(colour.r, colour.g, colour.b));
  Label20->adjustSize();
}

void TMainForm::SetProgress(int32_t position) {
  ProgressBar1->setValue(position);
}

void TMainForm::SetButtonEnabled(jobs::IndexButton button, bool enabled) {
  switch (button) {
    case jobs::IndexButton::PortOption:
      sbtnPortOption->setEnabled(enabled);
      break;
    case jobs::IndexButton::DownloadLogo:
      sbtnDownloadLogo->setEnabled(enabled);
      break;
    case jobs::IndexButton::Demo:
      sbtnDemo->setEnabled(enabled);
      break;
    case jobs::IndexButton::ClearError:
      sbtnClearError->setEnabled(enabled);
      break;
    case jobs::IndexButton::Exit:
      sbtnExit->setEnabled(enabled);
      break;
  }
}

// ---------------------------------------------------------------------------------
// Logo page.

void TMainForm::sbtnApplyDownloadClick() {
  // While another sender is active the download cannot start: the page stays.
  if (SendingInProgress()) return;
  jobs::LogoChoices choices;
  choices.horse = chkHorse->isChecked();
  choices.lion = chkLion->isChecked();
  choices.map = chkMap->isChecked();
  choices.dragon = chkDragon->isChecked();
  PageControl1->setCurrentWidget(tbsMain);
  jobs::StartLogoDownload(dispatcher_, *this, choices, program_folder_);
}

void TMainForm::tbsDownloadLogoShow() {
  const QRect r = Image1->geometry();
  preview_centre_x_ = r.left() + r.width() / 2;
  preview_centre_y_ = r.top() + r.height() / 2;
}

void TMainForm::ShowLogoPreview(const char* file_name, int width, int height) {
  Image1->setGeometry(preview_centre_x_ - width / 2, preview_centre_y_ - height / 2, width, height);
  const QString path = FindFileNoCase(program_folder_, file_name);
  QImage picture;
  if (!picture.load(path)) {
    ShowOperatorMessage(
        QStringLiteral("Cannot open file \"%1\".").arg(QDir::toNativeSeparators(path)));
    return;
  }
  Image1->setPixmap(QPixmap::fromImage(picture));
}

}  // namespace tillvane
