// Start-up and close: the models read, the status bar placed, the link state and the
// port page's lists as the system offers them; and at close every job ended before the
// links close.
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "app/config_texts.h"
#include "app/gbk_text.h"
#include "app/main_form.h"
#include "app/virtual_printer_window.h"
#include "base/log.h"
#include "config/config_location.h"
#include "config/ini_write.h"
#include "link/virtual_link.h"
#include "session/job_thread.h"
#include "session/window_session.h"

namespace tillvane {

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

  ResetSession();

  port_.usb_library_loaded = LoadUsbSupport();
  FillUsbList();
  FillQueueList();

  // The print-queue document description ("My Document", no output file, "RAW") is
  // fixed in the print-queue link.

  ResetPortPage();
  edAddress->setText(QString::fromStdString(config_.Network.Address));

  demo_.cutter = Cutter::Full;
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
  ApplyVirtualProfile();
  const QString problem = ConfigProblemMessage(config_file_);
  if (!problem.isEmpty()) ShowOperatorMessage(problem);
}

void TMainForm::ApplyVirtualProfile() {
  const std::string& name = config_.Virtual.Profile;
  std::optional<render::Profile> profile = render::ProfileNamed(name);
  if (!name.empty() && !profile)
    LogWarning(LogCategory::Config, "[Virtual] Profile=" + name + " is none of " +
                                        std::string(render::ProfileNames()) + "; cn is used");
  SetVirtualProfile(profile.value_or(render::Profile::kCn));
}

void TMainForm::SaveVirtualProfile(render::Profile profile) {
  // The user's own copy takes the choice; when it is not the file read, it starts as a
  // copy of that one, so that the models and ports stay as they were.
  const std::vector<std::string> places = ConfigCandidates(program_folder_);
  const std::string target = places.empty() ? config_file_.path : places.front();
  if (target.empty()) return;
  const std::string name(render::InfoOf(profile).name);
  std::string error;
  if (!WriteIniValues(target, config_file_.path, kVirtualSection, {{kProfileKey, name}}, &error)) {
    LogWarning(LogCategory::Config, "profile not kept: " + error);
    return;
  }
  config_.Virtual.Profile = name;
  if (config_file_.path.empty()) config_file_.path = target;
}

void TMainForm::FormClose() {
  if (life_.closed) return;
  life_.closed = true;
  // Every background job ends at its next send boundary and makes its end call before
  // the links go away.
  jobs::StopJobsAndWait(dispatcher_);
  // A status check still waiting for an answer ends within its 500 ms.
  if (life_.status_check != nullptr) life_.status_check->Join();
  // The preview's print server ends its job in progress and its thread is joined.
  if (virtual_preview_ != nullptr) {
    virtual_preview_->StopAccepting();
    virtual_preview_->close();
  }
  Timer1->stop();
  CloseSession();
  port_.usb_library_loaded = false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

}  // namespace tillvane
