// The window tests need one application object for the whole program. Without a
// display they run on Qt's offscreen platform, and without a print server of their
// own (a test that wants one starts the CUPS rig) they never ask the machine's.
#include <QApplication>

#include <gtest/gtest.h>

#include "app/qt_log.h"

#if defined(__SANITIZE_THREAD__)
// Qt's pooled threads synchronise through Qt's own wait conditions, which are not
// built for the thread checker: their start and end inside Qt are not our races.
extern "C" const char* __tsan_default_suppressions() {
  return "race:QWaitCondition::\n"
         "race:QThreadPoolThread\n";
}
// Qt is not built for the thread checker and locks with futexes it cannot see, so the
// memory calls Qt makes itself (its painting splits image conversions over pooled
// threads) would be reported as races among Qt's own threads. The checker still sees
// every access of our code, memory calls included.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CUPS_SERVER"))
    qputenv("CUPS_SERVER", "/nonexistent/tillvane-window-test/cups.sock");
  // Nor do they read the user's own Tillvane.ini: a test that wants one makes it.
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
    qputenv("XDG_CONFIG_HOME", "/nonexistent/tillvane-window-test/config");
  tillvane::RouteLogToQt();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
