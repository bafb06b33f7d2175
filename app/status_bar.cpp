// The status bar: four sunken panels, the paper state over the first, the progress of
// a job, its status text, and the clock.
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/form_kit.h"
#include "app/language.h"
#include "app/main_form.h"

namespace tillvane {

using namespace form;

namespace {

constexpr int kClockPeriodMs = 30000;

}  // namespace

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

void TMainForm::ConnectStatusBar() {
  connect(Timer1, &QTimer::timeout, this, &TMainForm::UpdateClock);
}

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

void TMainForm::SetStatusText(const std::string& text, jobs::Rgb colour) {
  Label20->setText(OperatorText(text));
  SetTextColour(Label20, QColor(colour.r, colour.g, colour.b));
  Label20->adjustSize();
}

void TMainForm::SetProgress(int32_t position) {
  ProgressBar1->setValue(position);
}

}  // namespace tillvane
