// The window's frame: building it page by page, the header, and the operator's message
// boxes. Each page's controls and handlers are in a file of its own (main_form.h).
#include "app/main_form.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStackedWidget>

#include "app/form_kit.h"
#include "app/language.h"
#include "base/message_sink.h"

namespace tillvane {

using namespace form;

TMainForm::TMainForm(const std::string& program_folder, QWidget* parent)
    : QWidget(parent),
      program_folder_(program_folder.empty() ? tillvane::ExecutableFolder() : program_folder) {
  life_.previous_sink =
      SetMessageSink([this](std::string_view text) { ShowOperatorMessage(OperatorText(text)); });
  BuildWindow();
  ConnectHandlers();
  FormCreate();
}

TMainForm::~TMainForm() {
  if (!life_.closed) FormClose();
  SetMessageSink(std::move(life_.previous_sink));
}

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

void TMainForm::ConnectHandlers() {
  ConnectIndexPage();
  ConnectPortPage();
  ConnectDemoPage();
  ConnectLogoPage();
  ConnectStatusBar();
}

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

}  // namespace tillvane
