// Program entry: one application titled "Tillvane" and its one main window.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "app/main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tillvane"));
  try {
    auto MainForm = std::make_unique<tillvane::TMainForm>();
    MainForm->show();
    app.exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Tillvane"), QString::fromUtf8(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, QStringLiteral("Tillvane"), QStringLiteral("Unknown error"));
  }
  return 0;
}
