// Program entry: one application titled "Tillvane" and its one main window.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "app/qt_log.h"
#include "link/log.h"

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

}  // namespace

int main(int argc, char** argv) {
  tillvane::RouteLogToQt();
  TillvaneApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  // An exception from creating the window or from the message loop is shown once;
  // the program then ends normally.
  try {
    auto MainForm = std::make_unique<tillvane::TMainForm>();
    MainForm->show();
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
