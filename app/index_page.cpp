// The index page: the picture, the version, the six large buttons, and the navigation
// between the pages.
#include <QEventLoop>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>

#include "app/form_kit.h"
#include "app/index_picture.h"
#include "app/main_form.h"
#include "commands/printer_status.h"
#include "commands/status_query.h"
#include "config/version.h"
#include "session/printer_actions.h"
#include "session/sender_gate.h"
#include "session/window_session.h"

namespace tillvane {

using namespace form;

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
  // Under the six: the preview, which needs no link.
  sbtnVirtualPrinter = MakeButton(Panel3, "sbtnVirtualPrinter", tr("虚拟打印机"), kPurple, 13,
                                  QRect(380 + x, 56 + 321 + 14, 153, 32));
}

void TMainForm::ConnectIndexPage() {
  connect(sbtnPortOption, &QPushButton::clicked, this, &TMainForm::sbtnPortOptionClick);
  connect(sbtnDemo, &QPushButton::clicked, this, &TMainForm::sbtnDemoClick);
  connect(sbtnDownloadLogo, &QPushButton::clicked, this, &TMainForm::sbtnDownloadLogoClick);
  connect(sbtnClearError, &QPushButton::clicked, this, &TMainForm::sbtnClearErrorClick);
  connect(sbtnExit, &QPushButton::clicked, this, &QWidget::close);
  connect(sbtnPrinterStatus, &QPushButton::clicked, this, &TMainForm::sbtnPrinterStatusClick);
  connect(sbtnVirtualPrinter, &QPushButton::clicked, this, &TMainForm::OpenVirtualPreview);
}

void TMainForm::SetIndexPrintingButtons(bool enabled) {
  sbtnDownloadLogo->setEnabled(enabled);
  sbtnDemo->setEnabled(enabled);
  sbtnClearError->setEnabled(enabled);
  sbtnExit->setEnabled(enabled);
  // Only a link whose printer can answer has a status to ask for.
  sbtnPrinterStatus->setEnabled(enabled && LinkCanAnswer());
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
  KeepPrintToFileForLogoDownload();
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
  life_.status_check = &check;
  check.Start(
      [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
  loop.exec();
  check.Join();
  life_.status_check = nullptr;
  if (life_.closed) return;  // the window closed meanwhile: nothing more to show
  sbtnPrinterStatus->setEnabled(LinkCanAnswer());
  ShowOperatorMessage(tr("打印机状态") + QStringLiteral("\n\n") +
                      QString::fromStdString(StatusReport(check.answers())));
}

void TMainForm::FollowCommandLine(const CommandLine& line) {
  if (line.open_virtual_printer) OpenVirtualPreview();
}

void TMainForm::sbtnClearErrorClick() {
  RunAsSender([] { ClearPrinterError(); });
}

}  // namespace tillvane
