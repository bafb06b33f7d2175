// A whole process from exec to its window mapped on the display, for timing from
// outside (/usr/bin/time, hyperfine, or any tool that times a process): it shows the
// window, waits for the first expose event and ends at once, leaving out the teardown.
// Built twice: `window_mapped` shows Tillvane's main window as the program does, and
// `minimal_mapped` the smallest Qt Widgets window of the same size, the yardstick.
#include <unistd.h>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QWindow>
#include <cstdio>
#include <memory>

#ifndef TILLVANE_MINIMAL_WINDOW
#include "app/language.h"
#include "app/main_form.h"
#endif

namespace {

// Ends the process at the window's first expose event.
class EndWhenExposed : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose) {
      std::fflush(nullptr);
      _exit(0);
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  EndWhenExposed end;
#ifdef TILLVANE_MINIMAL_WINDOW
  auto window = std::make_unique<QLabel>(QStringLiteral("Tillvane"));
  window->setFixedSize(685, 548);
#else
  tillvane::InstallTranslations(app, tillvane::LanguageFromEnvironment());
  auto window = std::make_unique<tillvane::TMainForm>(TILLVANE_BIN_DIR);
#endif
  window->show();
  window->windowHandle()->installEventFilter(&end);
  return app.exec();
}
