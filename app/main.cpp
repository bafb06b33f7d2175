// Program entry: one application titled "Tillvane" and its one main window.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "app/main_form.h"

namespace {

// An exception that leaves an event handler is shown, and the program goes on.
class TillvaneApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
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
  TillvaneApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  // The desktop file of the same id gives the window its icon under Wayland too.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tillvane.Tillvane"));
  // An exception from creating the window or from the message loop is shown once;
  // the program then ends normally.
  try {
    auto MainForm = std::make_unique<tillvane::TMainForm>();
    MainForm->show();
    app.exec();
  } catch (const std::exception& e) {
    TillvaneApplication::ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    TillvaneApplication::ShowError(QStringLiteral("Unknown error"));
  }
  return 0;
}
