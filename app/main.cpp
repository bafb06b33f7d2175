// Program entry: the command line, then one application titled "Tillvane" and its one
// main window.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/language.h"
#include "app/main_form.h"
#include "app/qt_log.h"
#include "base/log.h"
#include "config/config_location.h"
#include "config/version.h"

namespace {

// An exception that leaves an event handler is shown, and the program goes on.
class TillvaneApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      tillvane::LogWarning(tillvane::LogCategory::Window,
                           std::string("an event handler ended by an exception: ") + e.what());
      ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
      tillvane::LogWarning(tillvane::LogCategory::Window,
                           "an event handler ended by an exception of unknown type");
      ShowError(QStringLiteral("Unknown error"));
    }
    return false;
  }

  static void ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tillvane"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
};

void SetApplicationNames() {
  QCoreApplication::setApplicationName(QStringLiteral("Tillvane"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TILLVANE_VERSION));
}

// The exit status when the command line ends the program, nothing when the window runs.
std::optional<int> Finish(const tillvane::CommandLine& line) {
  using Action = tillvane::CommandLine::Action;
  switch (line.action) {
    case Action::PrintHelp:
    case Action::PrintVersion:
      std::fputs(line.text.toUtf8().constData(), stdout);
      return 0;
    case Action::Fail:
      std::fputs(line.text.toUtf8().constData(), stderr);
      return 1;
    case Action::Run:
    case Action::AskAgain:
      break;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  tillvane::RouteLogToQt();
  using namespace tillvane;
  const Language from_environment = LanguageFromEnvironment();
  const ConfigChoice config = ChooseConfigFile(ConfigCandidates(TMainForm::ExecutableFolder()));

  // The command line is read before the GUI platform starts: --help and --version need
  // no display.
  Language language = from_environment;
  bool ask_again = false;
  CommandLine window_line;  // what the window does once shown
  {
    QCoreApplication core(argc, argv);
    SetApplicationNames();
    language = ChooseLanguage(QCoreApplication::arguments(), from_environment);
    InstallTranslations(core, language);
    const CommandLine line =
        ReadCommandLine(QCoreApplication::arguments(), config, from_environment, false);
    if (auto status = Finish(line)) return *status;
    ask_again = line.action == CommandLine::Action::AskAgain;
    window_line = line;
  }

  TillvaneApplication app(argc, argv);
  SetApplicationNames();
  // The desktop file of the same id gives the window its icon under Wayland too.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tillvane.Tillvane"));
  InstallTranslations(app, language);
  if (ask_again) {
    // The platform has taken its own options out of the arguments.
    const CommandLine line =
        ReadCommandLine(QCoreApplication::arguments(), config, from_environment, true);
    if (auto status = Finish(line)) return *status;
    window_line = line;
  }
  // An exception from creating the window or from the message loop is shown once;
  // the program then ends normally.
  try {
    auto MainForm = std::make_unique<TMainForm>();
    MainForm->show();
    MainForm->FollowCommandLine(window_line);
    app.exec();
  } catch (const std::exception& e) {
    tillvane::LogWarning(tillvane::LogCategory::Window,
                         std::string("the window ended by an exception: ") + e.what());
    TillvaneApplication::ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    TillvaneApplication::ShowError(QStringLiteral("Unknown error"));
  }
  return 0;
}
