// The port page: the printer model, one row per link kind (its radio button beside its
// settings), and applying the choice.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <array>

#include "app/form_kit.h"
#include "app/language.h"
#include "app/main_form.h"
#include "app/virtual_printer_window.h"
#include "commands/printer_status.h"
#include "commands/status_query.h"
#include "config/virtual_config.h"
#include "session/link_kinds.h"
#include "session/open_link.h"
#include "session/window_session.h"

namespace tillvane {

using namespace form;

namespace {

// What the window adds to a row of the link-kinds table: its controls. The caption
// comes from the link-kinds row.
struct PortRow {
  LinkKind kind;
  const char* radio_name;
  QRadioButton* TMainForm::*radio;
  void (TMainForm::*click)();
  // Greyed while another row is chosen; null for a row that is never greyed.
  QGroupBox* TMainForm::*group;
  // Usable only while the row is chosen.
  std::array<QComboBox * TMainForm::*, 6> lists;
};

const std::array<PortRow, 6> kPortRows = {{
    {LinkKind::Serial,
     "rbtnCOM",
     &TMainForm::rbtnCOM,
     &TMainForm::rbtnCOMClick,
     &TMainForm::gbCOM,
     {&TMainForm::cboCom, &TMainForm::cboBaudrate, &TMainForm::cboVerify, &TMainForm::cboDatabit,
      &TMainForm::cboStopbit, &TMainForm::cboFlowControl}},
    {LinkKind::Parallel,
     "rbtnLPT",
     &TMainForm::rbtnLPT,
     &TMainForm::rbtnLPTClick,
     &TMainForm::gbLPT,
     {&TMainForm::cboLPT}},
    {LinkKind::Usb,
     "rbtnUsb",
     &TMainForm::rbtnUsb,
     &TMainForm::rbtnUsbClick,
     &TMainForm::gbUsb,
     {&TMainForm::cboUsb}},
    {LinkKind::PrintQueue,
     "rbtnDriver",
     &TMainForm::rbtnDriver,
     &TMainForm::rbtnDriverClick,
     &TMainForm::gbDriver,
     {&TMainForm::cboPrinters}},
    // The virtual printer has nothing to choose.
    {LinkKind::Virtual,
     "rbtnVirtual",
     &TMainForm::rbtnVirtual,
     &TMainForm::rbtnVirtualClick,
     nullptr,
     {}},
    // The network printer's row is always usable: its address is typed, never listed.
    {LinkKind::Network,
     "rbtnNetwork",
     &TMainForm::rbtnNetwork,
     &TMainForm::rbtnNetworkClick,
     nullptr,
     {}},
}};

const PortRow* FindPortRow(LinkKind kind) {
  for (const PortRow& row : kPortRows) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}

// The top of the row of that position below the serial settings, 44 pixels apart:
// five rows above the page's buttons.
int RowTop(int row) {
  return 152 + 44 * (row - 1);
}

}  // namespace

void TMainForm::BuildPortPage() {
  tbsPortOption = Named(new QWidget, "tbsPortOption");
  PageControl1->addWidget(tbsPortOption);
  Panel6 = MakePanel(tbsPortOption, "Panel6", QFrame::Raised, QRect(8, 8, 669, 437));

  Label16 = MakeLabel(Panel6, "Label16", tr("打印机类型："), kPurple, 13, 196, 17);
  cboPrinterModel = MakeList(Panel6, "cboPrinterModel", {}, QRect(296, 12, 180, 24));

  // The serial settings first, then one row per further link kind, in the order of the
  // link-kinds table, each its radio button beside its settings.
  int position = 0;
  for (const LinkKindRow& kind : LinkKinds()) {
    const PortRow* row = FindPortRow(kind.kind);
    if (row == nullptr) continue;
    const QRect geometry =
        position == 0 ? QRect(30, 84, 126, 22) : QRect(30, RowTop(position) + 10, 126, 22);
    this->*row->radio =
        MakeRadio(Panel6, row->radio_name, OperatorText(kind.caption), kPurple, geometry);
    ++position;
  }

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
    return MakeGroup(Panel6, name, caption, kNavy, QRect(160, RowTop(row), 470, 40));
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

  // The virtual printer's row only says where the paper comes out.
  MakeLabel(Panel6, "LabelVirtual", tr("打印结果显示在预览窗口中"), kNavy, 13, 178, RowTop(4) + 13);

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

void TMainForm::ConnectPortPage() {
  // Only the operator's pick raises the model change; the program's own selection
  // does not.
  connect(cboPrinterModel, &QComboBox::activated, this, &TMainForm::cboPrinterModelChange);
  for (const PortRow& row : kPortRows)
    connect(this->*row.radio, &QRadioButton::clicked, this, row.click);
  connect(sbtnApply, &QPushButton::clicked, this, &TMainForm::sbtnApplyClick);
  connect(sbtnCancel, &QPushButton::clicked, this, &TMainForm::sbtnCancelClick);
}

void TMainForm::SetPortListsEnabled(LinkKind kind) {
  for (const PortRow& row : kPortRows) {
    for (QComboBox* TMainForm::*list : row.lists) {
      if (list != nullptr) (this->*list)->setEnabled(row.kind == kind);
    }
  }
}

void TMainForm::ChooseRow(LinkKind kind) {
  SetPortListsEnabled(kind);
  for (const PortRow& row : kPortRows) {
    if (row.group != nullptr) (this->*row.group)->setEnabled(row.kind == kind);
  }
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
  SetPortListsEnabled(LinkKind::Serial);
}

// Rebuilds the USB device list and offers the USB link when a device was found and
// the model is not "Vorn-101".
void TMainForm::FillUsbList() {
  std::vector<std::string> labels;
  if (port_.usb_library_loaded) labels = UsbDeviceLabels();
  cboUsb->clear();
  for (const std::string& l : labels) cboUsb->addItem(QString::fromStdString(l));
  const bool offered =
      port_.usb_library_loaded && !labels.empty() && cboPrinterModel->currentText() != "Vorn-101";
  cboUsb->setCurrentIndex(offered ? 0 : -1);
  rbtnUsb->setEnabled(offered);
  cboUsb->setEnabled(offered);
}

// Lists the print queues and offers the print-queue link when there is one.
void TMainForm::FillQueueList() {
  const std::vector<std::string> queues = PrintQueueNames(config_.BaseDriverName);
  cboPrinters->clear();
  for (const std::string& q : queues) cboPrinters->addItem(QString::fromStdString(q));
  const bool any_queue = !queues.empty();
  cboPrinters->setCurrentIndex(any_queue ? 0 : -1);
  rbtnDriver->setEnabled(any_queue);
  cboPrinters->setEnabled(any_queue);
}

void TMainForm::cboPrinterModelChange() {
  SelectModel(config_, cboPrinterModel->currentIndex());
  port_.usb_library_loaded = LoadUsbSupport();
  if (!port_.usb_library_loaded) return;
  FillUsbList();
}

void TMainForm::rbtnCOMClick() {
  ChooseRow(LinkKind::Serial);
}

void TMainForm::rbtnLPTClick() {
  ChooseRow(LinkKind::Parallel);
}

void TMainForm::rbtnUsbClick() {
  ChooseRow(LinkKind::Usb);
}

void TMainForm::rbtnDriverClick() {
  ChooseRow(LinkKind::PrintQueue);
}

void TMainForm::rbtnVirtualClick() {
  ChooseRow(LinkKind::Virtual);
}

// The network row stays usable whichever kind is chosen; choosing it greys the others.
void TMainForm::rbtnNetworkClick() {
  ChooseRow(LinkKind::Network);
}

void TMainForm::sbtnApplyClick() {
  RunAsSender([this] { ApplyLink(); });
}

// The port page as plain values: the link kind of the radio button chosen and the
// settings of every kind.
LinkChoice TMainForm::ChosenLink() const {
  LinkChoice c;
  for (const PortRow& row : kPortRows) {
    if ((this->*row.radio)->isChecked()) {
      c.kind = row.kind;
      break;
    }
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
  SetIndexPrintingButtons(LinkKindInForce() != LinkKind::None);
  PageControl1->setCurrentWidget(tbsMain);
  ShowVirtualPreview();
}

// The preview opens beside the window whenever the virtual printer's link is open
// and stays until it or the window is closed.
void TMainForm::ShowVirtualPreview() {
  if (!VirtualPrinterInForce()) return;
  MakeVirtualPreview()->ShowBeside(this);
}

void TMainForm::OpenVirtualPreview() {
  MakeVirtualPreview()->ShowBeside(this);
}

// Its [Virtual] settings come from the Tillvane.ini read and go to the user's own.
VirtualPrinterWindow* TMainForm::MakeVirtualPreview() {
  if (virtual_preview_ == nullptr) {
    virtual_preview_ = new VirtualPrinterWindow(this, config_file_.path, UserConfigPath());
    virtual_preview_->ProfileChosen = [this](render::Profile p) { SaveVirtualProfile(p); };
  }
  return virtual_preview_;
}

}  // namespace tillvane
